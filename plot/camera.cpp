#include "camera.h"

#include <QString>

#include <cmath>

namespace plot {

namespace {

// The rotation that takes the world to an eye whose axes (right, up, towards the viewer) are
// these world directions.
QQuaternion looking(const QVector3D &right, const QVector3D &up, const QVector3D &towardsViewer)
{
    return QQuaternion::fromAxes(right.normalized(), up.normalized(), towardsViewer.normalized()).conjugated();
}

struct Named
{
    View view;
    const char *name;
};
constexpr Named kViews[] = {{View::Top, "top"}, {View::Front, "front"}, {View::Side, "side"},
                            {View::Iso, "iso"}, {View::Lathe, "lathe"}};

} // namespace

const char *viewName(View view)
{
    for (const Named &named : kViews) {
        if (named.view == view)
            return named.name;
    }
    return "iso";
}

bool viewNamed(const QString &name, View &view)
{
    for (const Named &named : kViews) {
        if (name == QLatin1String(named.name)) {
            view = named.view;
            return true;
        }
    }
    return false;
}

Camera::Camera()
{
    setView(View::Iso);
}

void Camera::setViewport(QSize pixels)
{
    m_viewport = QSize(std::max(1, pixels.width()), std::max(1, pixels.height()));
}

void Camera::setPixelsPerMm(double scale)
{
    if (std::isfinite(scale) && scale > 0.0)
        m_scale = std::clamp(scale, 1e-6, 1e9);
}

void Camera::setView(View view)
{
    switch (view) {
    case View::Top:
        m_rotation = QQuaternion();
        break;
    case View::Front: // from -Y, Z up
        m_rotation = looking({1, 0, 0}, {0, 0, 1}, {0, -1, 0});
        break;
    case View::Side: // from +X, Z up
        m_rotation = looking({0, 1, 0}, {0, 0, 1}, {1, 0, 0});
        break;
    case View::Iso: { // from the front right, above: X, Y and Z foreshortened alike
        const QVector3D towards = QVector3D(1, -1, 1).normalized();
        const QVector3D right = QVector3D::crossProduct({0, 0, 1}, towards).normalized();
        m_rotation = looking(right, QVector3D::crossProduct(towards, right), towards);
        break;
    }
    case View::Lathe: // Z across, X up
        m_rotation = looking({0, 0, 1}, {1, 0, 0}, {0, 1, 0});
        break;
    }
}

void Camera::fit(const Box &box, double margin)
{
    if (box.isEmpty())
        return;
    m_target = box.centre();
    double halfWidth = 0.0;
    double halfHeight = 0.0;
    double halfDepth = 0.0;
    for (int i = 0; i < 8; ++i) {
        const QVector3D e = m_rotation.rotatedVector(box.corner(i) - m_target);
        halfWidth = std::max(halfWidth, double(std::abs(e.x())));
        halfHeight = std::max(halfHeight, double(std::abs(e.y())));
        halfDepth = std::max(halfDepth, double(std::abs(e.z())));
    }
    const double free = std::clamp(1.0 - 2.0 * margin, 0.05, 1.0);
    const double across = halfWidth > 1e-9 ? m_viewport.width() * free / (2.0 * halfWidth) : HUGE_VAL;
    const double up = halfHeight > 1e-9 ? m_viewport.height() * free / (2.0 * halfHeight) : HUGE_VAL;
    if (std::isfinite(std::min(across, up)))
        setPixelsPerMm(std::min(across, up));
    setDepthRange(2.0 * halfDepth + 1.0);
}

void Camera::orbit(double dx, double dy, const QVector3D &pivot)
{
    const QVector3D before = project(pivot);
    constexpr float kDegreesPerPixel = 0.4f;
    const QQuaternion across = QQuaternion::fromAxisAndAngle(0, 0, 1, float(dx) * kDegreesPerPixel);
    const QQuaternion tilt = QQuaternion::fromAxisAndAngle(1, 0, 0, float(dy) * kDegreesPerPixel);
    m_rotation = (tilt * m_rotation * across).normalized();
    const QVector3D after = project(pivot);
    pan(before.x() - after.x(), before.y() - after.y());
}

void Camera::pan(double dx, double dy)
{
    const QVector3D shift(float(dx / m_scale), float(-dy / m_scale), 0.0f);
    m_target -= m_rotation.conjugated().rotatedVector(shift);
}

void Camera::zoomAt(const QPointF &at, double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0)
        return;
    const QVector3D under = unproject(at);
    setPixelsPerMm(m_scale * factor);
    // The point that was under the mouse goes back under it.
    const QVector3D now = project(under);
    pan(at.x() - now.x(), at.y() - now.y());
}

QVector3D Camera::project(const QVector3D &point) const
{
    const QVector3D e = m_rotation.rotatedVector(point - m_target);
    return QVector3D(float(m_viewport.width() * 0.5 + e.x() * m_scale), float(m_viewport.height() * 0.5 - e.y() * m_scale),
                     e.z());
}

QVector3D Camera::unproject(const QPointF &pixel, double depth) const
{
    const QVector3D e(float((pixel.x() - m_viewport.width() * 0.5) / m_scale),
                      float((m_viewport.height() * 0.5 - pixel.y()) / m_scale), float(depth));
    return m_target + m_rotation.conjugated().rotatedVector(e);
}

QMatrix4x4 Camera::view() const
{
    QMatrix4x4 m;
    m.rotate(m_rotation);
    m.translate(-m_target);
    return m;
}

QMatrix4x4 Camera::projection() const
{
    const float halfWidth = float(m_viewport.width() * 0.5 / m_scale);
    const float halfHeight = float(m_viewport.height() * 0.5 / m_scale);
    QMatrix4x4 m;
    m.ortho(-halfWidth, halfWidth, -halfHeight, halfHeight, float(-m_depth), float(m_depth));
    return m;
}

} // namespace plot
