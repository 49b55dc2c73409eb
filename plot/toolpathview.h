#pragma once

#include "camera.h"
#include "pathgeometry.h"
#include "pickindex.h"

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace plot {

// The toolpath drawn with OpenGL: rapids pale, cutting moves coloured by tool, the moves of the
// caret's line and of a tool window's range highlighted, where the tool stands at the caret's line
// marked, the part's extents with their sizes. Orbit with the left button, pan with the right or
// middle one, zoom about the mouse with the wheel; a click picks a move, a click with Shift picks
// the points to measure between. It only shows a geometry: the dock builds it and links it with
// the editor.
class ToolpathView : public QOpenGLWidget, protected QOpenGLFunctions
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
    // The lighter path drawn while a button is held, null until one is made (for the benchmark).
    const PathGeometry *lightPath() const { return m_light.get(); }
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
    // made away from the window once the camera rests; without `wait` nothing is picked until
    // it is there.
    std::optional<Pick> pickAt(const QPointF &pixel, bool wait = true);
    // What is measured: the two points picked with Shift, and their distance.
    std::optional<double> measured() const;

signals:
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
    void makeLight();
    // The camera moved or the path changed: the picking index is made again once it rests.
    void cameraMoved();
    void indexLater();
    void drawRanges(const std::vector<SegmentRange> &ranges, const QColor &colour, float width);
    void drawOverlay();

    Camera m_camera;
    std::shared_ptr<const PathGeometry> m_geometry;
    std::shared_ptr<const PathGeometry> m_light; // decimated, for frames with too many segments
    bool m_dirty = false;     // everything is to be sent to the GPU again
    qsizetype m_uploaded = 0; // vertices in the buffers
    qsizetype m_capacity = 0; // vertices the buffers have room for
    SegmentRange m_stale;     // vertices changed in place, to be sent again
    bool m_growing = false;   // more pieces are to come
    qsizetype m_lightVertices = 0;
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
    bool m_glReady = false;
    QString m_glError;

    QPoint m_pressAt;
    QPoint m_lastAt;
    Qt::MouseButton m_button = Qt::NoButton;
    bool m_dragged = false;
    QVector3D m_pivot;
};

} // namespace plot
