#pragma once

#include "camera.h"
#include "lines.h"
#include "pathgeometry.h"
#include "pickindex.h"

#include <QOpenGLBuffer>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace plot {

// Blocks of a megabyte or more are mapped apart from the heap, so that freeing one gives it back
// to the system: set once for the process, before a toolpath is drawn.
void mapLargeBlocksApart();
// Gives the memory freed after building or indexing a large path back to the system.
void releaseFreedMemory();

// The toolpath drawn with OpenGL: rapids pale, cutting moves coloured by tool, the moves of the
// caret's line and of a tool window's range highlighted, where the tool stands at the caret's line
// marked, the part's extents with their sizes. Orbit with the left button, pan with the right or
// middle one, zoom about the mouse with the wheel; a click picks a move, a click with Shift picks
// the points to measure between. It only shows a geometry: the dock builds it and links it with
// the editor.
//
// A path too big for one frame is drawn into a picture kept off the screen a slice at a time, each
// slice as much as a frame's time allows, so that the window never waits on the renderer; until
// the picture is whole the view says how much of it is drawn. While the camera moves, and while a
// picture is made again after a change, a sample of the path that a frame can draw is shown.
class ToolpathView : public QOpenGLWidget, protected QOpenGLExtraFunctions
{
    Q_OBJECT

public:
    explicit ToolpathView(QWidget *parent = nullptr);
    ~ToolpathView() override;

    // The path to draw; the camera is fitted to it when `fit`, else kept. `whole`: no piece
    // follows, so the GPU keeps no room for more.
    void setGeometry(std::shared_ptr<const PathGeometry> geometry, bool fit, bool whole);
    // The path grew (a piece came while it is built): only what is new is sent to the GPU.
    void geometryGrew(bool whole);
    // Changes the path shown in place: nothing reads it while `change` runs, which returns the
    // vertices that changed; only those are sent to the GPU again.
    void changeGeometry(const std::function<SegmentRange()> &change);
    const PathGeometry *geometry() const { return m_geometry.get(); }
    // The segments of the lighter path drawn while the camera moves, 0 until one is made and
    // sent to the GPU (for the benchmark).
    qsizetype lightSegments() const { return std::max<qsizetype>(0, m_lightVertices - 1); }
    // Draws the moves up to this segment only (Play), or all with -1.
    void setShownSegments(qsizetype count);
    void setCaretHighlight(std::vector<SegmentRange> ranges, std::optional<QVector3D> toolAt);
    // The caret's line's segments as last set (for the benchmark).
    const std::vector<SegmentRange> &caretHighlight() const { return m_caret; }
    void setRangeHighlight(std::vector<SegmentRange> ranges);
    // A restart's retract and approach, drawn in a colour of their own over the path: the points
    // it passes through, each with whether it is reached at the feed (else at rapid).
    struct ApproachPoint
    {
        QVector3D at;
        bool feed = false;
    };
    void setApproach(std::vector<ApproachPoint> points);
    const std::vector<ApproachPoint> &approach() const { return m_approach; }
    static QColor approachColour() { return QColor(255, 60, 220); }

    void showView(View view);
    void fitToPart();
    Camera &camera() { return m_camera; }
    // The move nearest a pixel, as a click there picks it. The index of what the camera shows is
    // made away from the window once the camera rests; until it is there a pick passes over the
    // whole path, and without `wait` (a hover, a drag) nothing is picked.
    std::optional<Pick> pickAt(const QPointF &pixel, bool wait = true);
    // What is measured: the two points picked with Shift, and their distance.
    std::optional<double> measured() const;
    // Whether the picture on the screen has every segment of the path (and of the tool window's
    // range) in it; pictureDrawn() tells when it comes to be.
    bool isPictureWhole() const { return m_pictureWhole; }
    // At most this many segments a slice (0: as many as a frame's time allows).
    void setSliceLimit(qsizetype segments) { m_sliceLimit = segments; }
    // Whether the picture at rest is drawn by the window's own line drawing rather than by GL (as
    // it is, unless told, on a renderer that draws on the processor).
    void setDrawnOnTheProcessor(bool processor);

signals:
    void pictureDrawn();
    void movePicked(qint64 move, qint64 line);
    // The scale changed (zoom, fit): how many mm a pixel now is.
    void scaleChanged(double mmPerPixel);
    // The mouse rests over a move; the dock tells what it is.
    void moveHovered(qint64 move, const QPoint &globalPos);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void upload();
    void uploadFrom(qsizetype firstVertex, qsizetype lastVertex = -1);
    // The path changed or grew: what was made of it goes, and is made again once it is drawn.
    void pathChanged();
    // The lighter path: dropped with the path it was made of, made again away from the window
    // once the path is whole, sent to the GPU at the next frame.
    void dropLight();
    void lightLater();
    void uploadLight();
    // The camera moved or the path changed: the picking index is made again once it rests.
    void cameraMoved();
    void indexLater();
    // The ranges' segments of the buffers (of `vertices`), every stride-th only when stride > 1.
    void drawSegments(QOpenGLVertexArrayObject &vao, const std::vector<SegmentRange> &ranges, qsizetype stride,
                      qsizetype vertices);
    // Highlighted segments over the path, thinned to `budget` of them.
    void drawRanges(const std::vector<SegmentRange> &ranges, const QColor &colour, float width, qsizetype budget);
    // Segments first ... last - 1 of what the picture holds: the path's segments shown, then those
    // of the tool window's range.
    std::vector<SegmentRun> sceneRuns(qsizetype path, qsizetype first, qsizetype last) const;
    void drawScene(qsizetype path, qsizetype first, qsizetype last);
    // The same by the window's own line drawing, into the picture's texture.
    void drawSceneOnTheProcessor(qsizetype path, qsizetype first, qsizetype last);
    qsizetype rangeSegments() const;
    void makeTargets();
    // Whether the camera is being moved (a button held, the wheel turned lately).
    bool isMoving() const;
    // How many segments the next slice of the picture draws.
    qsizetype sliceSegments() const;
    void drawSlice(qsizetype path, qsizetype scene);
    void drawSample(qsizetype path);
    void present(QOpenGLFramebufferObject &from);
    void drawOverlay();

    Camera m_camera;
    std::shared_ptr<const PathGeometry> m_geometry;
    std::shared_ptr<const PathGeometry> m_light; // decimated, for frames with too many segments, until sent
    struct LightJob;
    std::shared_ptr<LightJob> m_lightJob;
    bool m_dirty = false;     // everything is to be sent to the GPU again
    qsizetype m_uploaded = 0; // vertices in the buffers
    qsizetype m_capacity = 0; // vertices the buffers have room for
    SegmentRange m_stale;     // vertices changed in place, to be sent again
    bool m_growing = false;   // more pieces are to come
    qsizetype m_lightVertices = 0; // of the lighter path in its buffers
    qsizetype m_shown = -1;
    std::vector<SegmentRange> m_caret;
    std::vector<SegmentRange> m_range;
    std::vector<ApproachPoint> m_approach;
    std::optional<QVector3D> m_toolAt;
    PickIndex m_picks;
    std::shared_ptr<const PathGeometry> m_pickedGeometry; // what m_picks indexes
    struct IndexJob;
    std::shared_ptr<IndexJob> m_indexJob;
    QTimer *m_indexTimer = nullptr;
    std::optional<QVector3D> m_measureFrom;
    std::optional<QVector3D> m_measureTo;

    QOpenGLShaderProgram m_program;
    QOpenGLVertexArrayObject m_vao;
    QOpenGLBuffer m_positions{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer m_colours{QOpenGLBuffer::VertexBuffer};
    QOpenGLVertexArrayObject m_lightVao;
    QOpenGLBuffer m_lightPositions{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer m_lightColours{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer m_sampleIndices{QOpenGLBuffer::IndexBuffer};
    bool m_glReady = false;

    // The picture at rest, and the sample shown while it is made again; each remembers what it
    // shows (the camera's matrix, the path's version, the path's segments shown) and the picture
    // how many of its segments are drawn.
    std::unique_ptr<QOpenGLFramebufferObject> m_picture;
    std::unique_ptr<QOpenGLFramebufferObject> m_sample;
    quint64 m_version = 1; // changed whenever the path or the range changes other than by growing
    QMatrix4x4 m_pictureMatrix;
    quint64 m_pictureVersion = 0;
    qsizetype m_picturePath = 0;
    qsizetype m_pictureDone = 0;
    bool m_pictureWhole = false;
    int m_drawnPercent = 0;
    bool m_showSample = false;
    QMatrix4x4 m_sampleMatrix;
    quint64 m_sampleVersion = 0;
    qsizetype m_samplePath = -1;
    double m_segmentSeconds = 0.0; // what a segment of the picture took to draw, lately
    double m_sampleSeconds = 0.0;  // ... and one of a sample
    qsizetype m_sliceLimit = 0;
    // On a renderer that draws on the processor the picture is drawn by the window itself, into
    // this image.
    bool m_onTheProcessor = false;
    bool m_drawingTold = false;
    QImage m_drawn;
    QTimer *m_settle = nullptr; // runs while the camera was moved by the wheel lately
    QString m_glError;

    QPoint m_pressAt;
    QPoint m_lastAt;
    Qt::MouseButton m_button = Qt::NoButton;
    bool m_dragged = false;
    QVector3D m_pivot;
};

} // namespace plot
