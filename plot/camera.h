#pragma once

#include "box.h"

#include <QMatrix4x4>
#include <QPointF>
#include <QQuaternion>
#include <QSize>
#include <QVector3D>

namespace plot {

// The standard directions a toolpath is seen from. Lathe is a lathe's XZ view: Z across to the
// right, X (the radius) up, for programs in G18 in diameter mode, whose moves are already radii.
enum class View { Top, Front, Side, Iso, Lathe };

// The name of a view ("top", "front", "side", "iso", "lathe") and back; false for another name.
const char *viewName(View view);
bool viewNamed(const QString &name, View &view);

// An orthographic camera over a viewport of pixels: where it looks (the target, in mm), from which
// direction (a rotation, world to eye), and how many pixels a millimetre is. Pixels count from the
// viewport's top left corner, x to the right and y down, as a widget's mouse events and a QImage
// do. The eye's x is to the right of the screen, its y up and its z towards the viewer.
//
// The GL view draws with projection() * view(); the raster draws with project(), which agrees with
// those matrices pixel for pixel.
class Camera
{
public:
    Camera();

    void setViewport(QSize pixels);
    QSize viewport() const { return m_viewport; }

    // Looks from one of the standard directions, keeping the target and the scale.
    void setView(View view);
    // Looks at `box` whole from the direction in force, the target its centre, with `margin`
    // (a fraction of the viewport) left free on every side. An empty box or a point keeps the scale.
    void fit(const Box &box, double margin = 0.05);

    // Turns the view by a drag of (dx, dy) pixels about `pivot` (mm; the point under the mouse where
    // the drag began), which keeps its pixel: across turns about the machine's Z axis, up and down
    // tilts about the screen's horizontal axis.
    void orbit(double dx, double dy, const QVector3D &pivot);
    // Moves the view with the mouse by (dx, dy) pixels.
    void pan(double dx, double dy);
    // Scales the view by `factor` (above 1 nearer) about the pixel `at`, which shows the same point
    // before and after.
    void zoomAt(const QPointF &at, double factor);

    // Where a point is drawn: x and y in pixels, z the depth towards the viewer in mm from the
    // target's plane.
    QVector3D project(const QVector3D &point) const;
    // The point (mm) a pixel shows in the plane through the target facing the viewer, moved by
    // `depth` mm towards the viewer.
    QVector3D unproject(const QPointF &pixel, double depth = 0.0) const;

    // The matrices for OpenGL: view() takes mm to the eye's frame (mm), projection() the eye's
    // frame to clip space, the visible depth being the fitted box's and then some.
    QMatrix4x4 view() const;
    QMatrix4x4 projection() const;

    QVector3D target() const { return m_target; }
    void setTarget(const QVector3D &target) { m_target = target; }
    // World to eye.
    QQuaternion rotation() const { return m_rotation; }
    void setRotation(const QQuaternion &rotation) { m_rotation = rotation.normalized(); }
    double pixelsPerMm() const { return m_scale; }
    void setPixelsPerMm(double scale);
    // How many millimetres a pixel is: a chord tolerance of half of it cannot be seen.
    double mmPerPixel() const { return 1.0 / m_scale; }
    // How deep (mm, either side of the target) the projection keeps what it draws.
    double depthRange() const { return m_depth; }
    void setDepthRange(double mm) { m_depth = mm > 0.0 ? mm : 1.0; }

private:
    QSize m_viewport{800, 600};
    QVector3D m_target;
    QQuaternion m_rotation;
    double m_scale = 1.0;
    double m_depth = 10000.0;
};

// Where a camera draws a point (pixels and depth, as Camera::project), for passes over millions of
// vertices: the camera is orthographic, so an affine map, worked out once from its projection of
// the origin and the axes.
struct ProjectionMap
{
    explicit ProjectionMap(const Camera &camera = Camera())
        : origin(camera.project(QVector3D())), x(camera.project(QVector3D(1, 0, 0)) - origin),
          y(camera.project(QVector3D(0, 1, 0)) - origin), z(camera.project(QVector3D(0, 0, 1)) - origin)
    {
    }
    QVector3D operator()(const float *xyz) const { return origin + x * xyz[0] + y * xyz[1] + z * xyz[2]; }
    QVector3D origin, x, y, z;
};

} // namespace plot
