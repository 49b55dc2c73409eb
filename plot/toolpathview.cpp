#include "toolpathview.h"

#include "lines.h"
#include "raster.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <limits>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace plot {

void mapLargeBlocksApart()
{
#ifdef __GLIBC__
    // Left to itself the threshold rises to the largest block freed, and a path's blocks of
    // megabytes stay in the heap, held from the system, once freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

void releaseFreedMemory()
{
#ifdef __GLIBC__
    // The blocks a path is built and indexed in are freed on other threads, whose heaps keep
    // them from the system unless told.
    malloc_trim(0);
#endif
}

namespace {

// Beyond this many segments a frame drawn while the camera moves shows the lighter path.
constexpr qsizetype kFrameBudget = 600000;
// ... and the lighter path is made to hold at most this many.
constexpr qsizetype kLightBudget = 250000;
// What a frame may take to draw while the camera moves, and a slice of the picture at rest (each
// frame also costs the window some 20 ms on a software renderer, so slices are longer); and how
// many segments the first slice of a picture has before the renderer's speed is known.
constexpr double kFrameSeconds = 0.03;
constexpr double kSliceSeconds = 0.08;
constexpr qsizetype kFirstSlice = 100000;
// The camera is taken to move while the wheel turned within this many milliseconds.
constexpr int kSettleMs = 200;
const QRgb kBackground = qRgb(24, 26, 32);
const QRgb kRangeColour = qRgb(255, 255, 255);

const char *const kVertexShader = R"(#version 130
in vec3 position;
in vec4 colour;
uniform mat4 matrix;
flat out vec4 shade;
void main()
{
    gl_Position = matrix * vec4(position, 1.0);
    shade = colour;
}
)";

const char *const kFragmentShader = R"(#version 130
flat in vec4 shade;
uniform vec4 over;
out vec4 fragment;
void main()
{
    fragment = over.a > 0.0 ? over : shade;
}
)";

// Each vertex carries the colour of the segment it ends (the last vertex of a line provokes):
// vertices first ... last - 1.
std::vector<quint8> coloursOf(const PathGeometry &geometry, qsizetype first, qsizetype last)
{
    const std::vector<Segment> &segments = geometry.segments();
    std::vector<quint8> rgba(static_cast<std::size_t>(last - first) * 4, 255);
    for (qsizetype v = std::max<qsizetype>(first, 1); v < last; ++v) {
        const QRgb c = segmentColour(segments[static_cast<std::size_t>(v - 1)]);
        quint8 *out = rgba.data() + (v - first) * 4;
        out[0] = static_cast<quint8>(qRed(c));
        out[1] = static_cast<quint8>(qGreen(c));
        out[2] = static_cast<quint8>(qBlue(c));
    }
    return rgba;
}

// A renderer that draws on the processor: there, the path's picture is drawn faster by the
// window's own line drawing than through GL.
bool drawsOnTheProcessor(const QByteArray &renderer)
{
    return renderer.contains("llvmpipe") || renderer.contains("softpipe") || renderer.contains("swrast") ||
           renderer.contains("Software Rasterizer");
}

// How many segments can be drawn within `budget` seconds, each taking about `secondsEach` (0:
// not known yet).
qsizetype segmentsWithin(double secondsEach, double budget)
{
    if (secondsEach <= 0.0)
        return kFirstSlice;
    return std::max<qsizetype>(1000, qsizetype(budget / secondsEach));
}

// Every how many segments to draw for no more than `budget` of `total`.
qsizetype strideFor(qsizetype total, qsizetype budget)
{
    return total <= budget ? 1 : (total + budget - 1) / std::max<qsizetype>(1, budget);
}

// The segments of the ranges that the buffers of `vertices` hold.
qsizetype segmentsIn(const std::vector<SegmentRange> &ranges, qsizetype vertices)
{
    qsizetype n = 0;
    for (const SegmentRange &r : ranges)
        n += r.count > 0 && r.first + r.count < vertices ? r.count : 0;
    return n;
}

QString length(double mm)
{
    return QString::number(mm, 'f', 3);
}

// Work on a path on a thread of its own, stopped and waited for when dropped, before what it
// works on goes (so what it makes is a member here, not of a derived job).
template<typename Work>
struct PathJob
{
    std::shared_ptr<const PathGeometry> geometry;
    Work work;
    std::atomic<bool> cancel{false};
    std::thread worker;
    ~PathJob()
    {
        cancel = true;
        if (worker.joinable())
            worker.join();
    }
};

struct IndexWork
{
    Camera camera;
    PickIndex index;
};

struct LightWork
{
    double tolerance = 0.0;
    std::shared_ptr<PathGeometry> light;
};

} // namespace

// A picking index being made for one camera.
struct ToolpathView::IndexJob : PathJob<IndexWork>
{
};

ToolpathView::ToolpathView(QWidget *parent) : QOpenGLWidget(parent)
{
    m_indexTimer = new QTimer(this);
    m_indexTimer->setSingleShot(true);
    m_indexTimer->setInterval(150);
    connect(m_indexTimer, &QTimer::timeout, this, &ToolpathView::indexLater);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    setMouseTracking(true);
    setMinimumSize(240, 180);
    setFocusPolicy(Qt::ClickFocus);
    m_camera.setView(View::Iso);
}

ToolpathView::~ToolpathView()
{
    m_indexJob.reset(); // waits for an index being made
    m_lightJob.reset();
    makeCurrent();
    m_vao.destroy();
    m_positions.destroy();
    m_colours.destroy();
    m_lightVao.destroy();
    m_lightPositions.destroy();
    m_lightColours.destroy();
    m_sampleIndices.destroy();
    m_picture.reset();
    m_sample.reset();
    doneCurrent();
}

void ToolpathView::setGeometry(std::shared_ptr<const PathGeometry> geometry, bool fit, bool whole)
{
    m_geometry = std::move(geometry);
    ++m_version;
    m_growing = !whole;
    m_dirty = true;
    pathChanged();
    if (fit)
        fitToPart();
}

void ToolpathView::geometryGrew(bool whole)
{
    // The whole path is sent again once, to buffers of its own size, when the room kept for
    // more would be wasted.
    if (whole && m_capacity > m_geometry->vertexCount() + m_geometry->vertexCount() / 4)
        m_dirty = true;
    m_growing = !whole;
    pathChanged();
}

void ToolpathView::changeGeometry(const std::function<SegmentRange()> &change)
{
    // An index or a lighter path being made reads the path: it is stopped, and dropped.
    m_indexJob.reset();
    m_lightJob.reset();
    m_picks = PickIndex();
    m_pickedGeometry.reset();
    const SegmentRange changed = change();
    ++m_version;
    if (m_stale.count > 0) {
        const qsizetype end = std::max(m_stale.first + m_stale.count, changed.first + changed.count);
        m_stale.first = std::min(m_stale.first, changed.first);
        m_stale.count = end - m_stale.first;
    } else {
        m_stale = changed;
    }
    pathChanged();
}

void ToolpathView::pathChanged()
{
    dropLight();
    cameraMoved();
    m_pictureWhole = false; // the lighter path and the index are made once it is
    update();
}

void ToolpathView::setShownSegments(qsizetype count)
{
    m_shown = count;
    update();
}

void ToolpathView::setCaretHighlight(std::vector<SegmentRange> ranges, std::optional<QVector3D> toolAt)
{
    m_caret = std::move(ranges);
    m_toolAt = toolAt;
    update();
}

void ToolpathView::setRangeHighlight(std::vector<SegmentRange> ranges)
{
    if (ranges == m_range)
        return;
    m_range = std::move(ranges);
    ++m_version;
    update();
}

void ToolpathView::setDrawnOnTheProcessor(bool processor)
{
    m_onTheProcessor = processor;
    m_drawingTold = true;
    ++m_version;
    update();
}

void ToolpathView::setApproach(std::vector<ApproachPoint> points)
{
    m_approach = std::move(points);
    update();
}

void ToolpathView::showView(View view)
{
    m_camera.setView(view);
    fitToPart();
}

void ToolpathView::fitToPart()
{
    m_camera.setViewport(size().isEmpty() ? QSize(800, 600) : size());
    if (m_geometry && !m_geometry->extents().isEmpty())
        m_camera.fit(m_geometry->extents());
    cameraMoved();
    emit scaleChanged(m_camera.mmPerPixel());
    update();
}

void ToolpathView::cameraMoved()
{
    m_picks = PickIndex();
    m_pickedGeometry.reset();
    if (m_geometry && m_geometry->segmentCount() > 0)
        m_indexTimer->start();
}

void ToolpathView::indexLater()
{
    // A path still growing is not indexed: the pieces appended to it would move what the index
    // reads on its thread. It is indexed once whole.
    if (!m_geometry || m_growing || (m_pickedGeometry == m_geometry && m_picks.madeFor(m_camera)))
        return;
    // Nor while the picture is drawn: the renderer has the processors; once it is whole, the index
    // is made.
    if (!m_pictureWhole)
        return;
    if (m_indexJob) {
        // One index at a time: the next is made once this one is done.
        m_indexTimer->start();
        return;
    }
    auto job = std::make_shared<IndexJob>();
    job->geometry = m_geometry;
    job->work.camera = m_camera;
    m_indexJob = job;
    IndexJob *raw = job.get();
    job->worker = std::thread([this, raw, weak = std::weak_ptr<IndexJob>(job)] {
        raw->work.index.build(*raw->geometry, raw->work.camera, 16, &raw->cancel); // stopped only by the job's end
        QMetaObject::invokeMethod(this, [this, weak] {
            const std::shared_ptr<IndexJob> done = weak.lock();
            if (!done || done != m_indexJob)
                return;
            done->worker.join();
            if (done->geometry == m_geometry && done->work.index.madeFor(m_camera)) {
                m_picks = std::move(done->work.index);
                m_pickedGeometry = done->geometry;
            }
            m_indexJob.reset();
            releaseFreedMemory();
            if (m_pickedGeometry != m_geometry)
                m_indexTimer->start(); // the camera moved on meanwhile
        }, Qt::QueuedConnection);
    });
}

std::optional<Pick> ToolpathView::pickAt(const QPointF &pixel, bool wait)
{
    if (!m_geometry || m_geometry->segmentCount() == 0)
        return std::nullopt;
    if (m_pickedGeometry != m_geometry || m_picks.isEmpty() || !m_picks.madeFor(m_camera)) {
        // Until the index of this camera is made, one pass over the path finds the move.
        if (!wait)
            return std::nullopt;
        return PickIndex::nearestOf(*m_geometry, m_camera, pixel);
    }
    return m_picks.nearest(pixel);
}

std::optional<double> ToolpathView::measured() const
{
    if (!m_measureFrom || !m_measureTo)
        return std::nullopt;
    return (*m_measureTo - *m_measureFrom).length();
}

void ToolpathView::initializeGL()
{
    initializeOpenGLFunctions();
    m_glReady = m_program.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) &&
                m_program.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) && m_program.link();
    if (!m_glReady)
        m_glError = tr("The toolpath cannot be drawn: %1").arg(m_program.log().trimmed());
    m_vao.create();
    m_lightVao.create();
    m_positions.create();
    m_colours.create();
    m_lightPositions.create();
    m_lightColours.create();
    m_sampleIndices.create();
    if (!m_drawingTold)
        m_onTheProcessor = drawsOnTheProcessor(reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    m_dirty = true;
}

void ToolpathView::resizeGL(int w, int h)
{
    const bool first = m_camera.viewport() == QSize(800, 600) && m_uploaded == 0;
    m_camera.setViewport(QSize(w, h));
    if (first)
        fitToPart();
    cameraMoved();
}

void ToolpathView::upload()
{
    m_uploaded = 0;
    m_capacity = 0;
    uploadFrom(0);
}

void ToolpathView::uploadFrom(qsizetype firstVertex, qsizetype lastVertex)
{
    if (!m_geometry)
        return;
    const PathGeometry &geometry = *m_geometry;
    const qsizetype vertices = geometry.vertexCount();
    m_program.bind();
    const auto bindAttributes = [this](QOpenGLBuffer &positions, QOpenGLBuffer &colours) {
        positions.bind();
        m_program.enableAttributeArray("position");
        m_program.setAttributeBuffer("position", GL_FLOAT, 0, 3);
        colours.bind();
        m_program.enableAttributeArray("colour");
        glVertexAttribPointer(static_cast<GLuint>(m_program.attributeLocation("colour")), 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
        colours.release();
    };
    if (vertices > m_capacity) {
        // Room for the path the geometry keeps room for, or for twice as much, so that a path
        // that grows piece by piece is sent over once or twice.
        const qsizetype room = qsizetype(geometry.vertices().capacity() / 3);
        m_capacity = m_growing ? std::max<qsizetype>(room > vertices ? room : vertices * 2, 4096) : vertices;
        firstVertex = 0;
        lastVertex = -1;
        QOpenGLVertexArrayObject::Binder bound(&m_vao);
        m_positions.bind();
        m_positions.allocate(static_cast<int>(m_capacity * 3 * sizeof(float)));
        m_colours.bind();
        m_colours.allocate(static_cast<int>(m_capacity * 4));
        bindAttributes(m_positions, m_colours);
    }
    const qsizetype end = lastVertex < 0 ? vertices : std::min(lastVertex, vertices);
    if (end > firstVertex) {
        // The vertex before the new ones takes the colour of the segment it now ends.
        const qsizetype from = std::max<qsizetype>(0, firstVertex - 1);
        m_positions.bind();
        m_positions.write(static_cast<int>(from * 3 * sizeof(float)), geometry.vertices().data() + from * 3,
                          static_cast<int>((end - from) * 3 * sizeof(float)));
        const std::vector<quint8> rgba = coloursOf(geometry, from, end);
        m_colours.bind();
        m_colours.write(static_cast<int>(from * 4), rgba.data(), static_cast<int>(rgba.size()));
        m_colours.release();
    }
    m_uploaded = vertices;
    m_program.release();
}

// A lighter path being made.
struct ToolpathView::LightJob : PathJob<LightWork>
{
};

void ToolpathView::dropLight()
{
    m_lightJob.reset();
    m_light.reset();
    m_lightVertices = 0;
}

void ToolpathView::lightLater()
{
    if (m_growing || !m_pictureWhole || m_lightJob || m_lightVertices > 0 || !m_geometry ||
        m_geometry->segmentCount() <= kFrameBudget)
        return;
    // A lighter path for the frames drawn while the camera moves: what is shorter than a pixel
    // at the scale in force is merged, coarser until a frame can draw it (a few pixels off while
    // the camera moves are not seen). Made away from the window once the path is whole.
    auto job = std::make_shared<LightJob>();
    job->geometry = m_geometry;
    job->work.tolerance = m_camera.mmPerPixel();
    m_lightJob = job;
    LightJob *raw = job.get();
    job->worker = std::thread([this, raw, weak = std::weak_ptr<LightJob>(job)] {
        double tolerance = raw->work.tolerance;
        auto light = std::make_shared<PathGeometry>(raw->geometry->decimated(tolerance, &raw->cancel));
        // Each coarser one is made of the one before, smaller each time (what it leaves out lies
        // within the sum of the tolerances, half as much again as the last).
        for (int k = 0; k < 6 && !raw->cancel && light->segmentCount() > kLightBudget; ++k) {
            tolerance *= 3.0;
            light = std::make_shared<PathGeometry>(light->decimated(tolerance, &raw->cancel));
        }
        if (raw->cancel)
            return;
        raw->work.light = std::move(light);
        QMetaObject::invokeMethod(this, [this, weak] {
            const std::shared_ptr<LightJob> done = weak.lock();
            if (!done || done != m_lightJob)
                return;
            done->worker.join();
            if (done->geometry == m_geometry)
                m_light = std::move(done->work.light);
            m_lightJob.reset();
            releaseFreedMemory();
        }, Qt::QueuedConnection);
    });
}

void ToolpathView::uploadLight()
{
    // Sent once; the buffers keep it, the window does not.
    const PathGeometry &light = *m_light;
    QOpenGLVertexArrayObject::Binder bound(&m_lightVao);
    m_lightPositions.bind();
    m_lightPositions.allocate(light.vertices().data(), static_cast<int>(light.vertices().size() * sizeof(float)));
    m_program.enableAttributeArray("position");
    m_program.setAttributeBuffer("position", GL_FLOAT, 0, 3);
    const std::vector<quint8> rgba = coloursOf(light, 0, light.vertexCount());
    m_lightColours.bind();
    m_lightColours.allocate(rgba.data(), static_cast<int>(rgba.size()));
    m_program.enableAttributeArray("colour");
    glVertexAttribPointer(static_cast<GLuint>(m_program.attributeLocation("colour")), 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
    m_lightColours.release();
    m_lightVertices = light.vertexCount();
    m_light.reset();
}

qsizetype ToolpathView::rangeSegments() const
{
    return segmentsIn(m_range, m_uploaded);
}

void ToolpathView::drawSegments(QOpenGLVertexArrayObject &vao, const std::vector<SegmentRange> &ranges, qsizetype stride,
                                qsizetype vertices)
{
    QOpenGLVertexArrayObject::Binder bound(&vao);
    if (stride == 1) {
        for (const SegmentRange &r : ranges) {
            if (r.count > 0 && r.first + r.count < vertices)
                glDrawArrays(GL_LINE_STRIP, static_cast<GLint>(r.first), static_cast<GLsizei>(r.count + 1));
        }
        return;
    }
    // Every stride-th segment, as lines of their own.
    std::vector<quint32> ends;
    ends.reserve(std::size_t(2 * (segmentsIn(ranges, vertices) / stride + qsizetype(ranges.size()))));
    for (const SegmentRange &r : ranges) {
        if (r.count <= 0 || r.first + r.count >= vertices)
            continue;
        for (qsizetype s = r.first; s < r.first + r.count; s += stride) {
            ends.push_back(quint32(s));
            ends.push_back(quint32(s + 1));
        }
    }
    m_sampleIndices.bind();
    m_sampleIndices.allocate(ends.data(), static_cast<int>(ends.size() * sizeof(quint32)));
    glDrawElements(GL_LINES, static_cast<GLsizei>(ends.size()), GL_UNSIGNED_INT, nullptr);
    m_sampleIndices.release();
}

void ToolpathView::drawRanges(const std::vector<SegmentRange> &ranges, const QColor &colour, float width, qsizetype budget)
{
    const qsizetype total = segmentsIn(ranges, m_uploaded);
    if (total == 0)
        return;
    m_program.setUniformValue("over", colour);
    glLineWidth(width);
    drawSegments(m_vao, ranges, strideFor(total, budget), m_uploaded);
    glLineWidth(1.0f);
    m_program.setUniformValue("over", QColor(0, 0, 0, 0));
}

std::vector<SegmentRun> ToolpathView::sceneRuns(qsizetype path, qsizetype first, qsizetype last) const
{
    std::vector<SegmentRun> runs;
    if (first < path)
        runs.push_back({first, std::min(last, path) - first, 0, 1});
    // The range's segments follow the path's, range after range.
    qsizetype at = path;
    for (const SegmentRange &r : m_range) {
        if (r.count <= 0 || r.first + r.count >= m_uploaded)
            continue;
        const qsizetype from = std::max(first, at), to = std::min(last, at + r.count);
        if (from < to)
            runs.push_back({r.first + (from - at), to - from, kRangeColour, 2});
        at += r.count;
    }
    return runs;
}

void ToolpathView::drawScene(qsizetype path, qsizetype first, qsizetype last)
{
    for (const SegmentRun &run : sceneRuns(path, first, last)) {
        if (run.colour == 0)
            drawSegments(m_vao, {{run.first, run.count}}, 1, m_uploaded);
        else
            drawRanges({{run.first, run.count}}, QColor::fromRgb(run.colour), float(run.width), std::numeric_limits<qsizetype>::max());
    }
}

void ToolpathView::drawSceneOnTheProcessor(qsizetype path, qsizetype first, qsizetype last)
{
    // A picture drawn from the start begins on the background; its next slices go on over it.
    if (first == 0 || m_drawn.size() != m_picture->size()) {
        m_drawn = QImage(m_picture->size(), QImage::Format_RGBA8888);
        m_drawn.fill(QColor::fromRgb(kBackground));
    }
    ProjectionMap map(m_camera);
    // The camera counts in the widget's pixels, the picture in the device's.
    const float sx = float(m_drawn.width()) / float(std::max(1, m_camera.viewport().width()));
    const float sy = float(m_drawn.height()) / float(std::max(1, m_camera.viewport().height()));
    for (QVector3D *v : {&map.origin, &map.x, &map.y, &map.z})
        *v = QVector3D(v->x() * sx, v->y() * sy, v->z());
    drawRunsInBands(m_drawn, *m_geometry, map, sceneRuns(path, first, last), int(std::max(1u, std::thread::hardware_concurrency())));
    // Into the picture's texture, whose rows run from the bottom.
    const QImage rows = m_drawn.mirrored();
    glBindTexture(GL_TEXTURE_2D, m_picture->texture());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, rows.width(), rows.height(), GL_RGBA, GL_UNSIGNED_BYTE, rows.constBits());
    glBindTexture(GL_TEXTURE_2D, 0);
}

void ToolpathView::makeTargets()
{
    const QSize size = QSize(width(), height()) * devicePixelRatio();
    if (m_picture && m_picture->size() == size)
        return;
    m_picture = std::make_unique<QOpenGLFramebufferObject>(size);
    m_sample = std::make_unique<QOpenGLFramebufferObject>(size);
    m_pictureVersion = 0;
    m_sampleVersion = 0;
    m_pictureDone = 0;
}

bool ToolpathView::isMoving() const
{
    return m_button != Qt::NoButton || m_settle->isActive();
}

qsizetype ToolpathView::sliceSegments() const
{
    return m_sliceLimit > 0 ? m_sliceLimit : segmentsWithin(m_segmentSeconds, kSliceSeconds);
}

void ToolpathView::drawSlice(qsizetype path, qsizetype scene)
{
    const qsizetype count = std::min(scene - m_pictureDone, sliceSegments());
    m_picture->bind();
    glViewport(0, 0, m_picture->width(), m_picture->height());
    QElapsedTimer clock;
    clock.start();
    if (m_onTheProcessor)
        drawSceneOnTheProcessor(path, m_pictureDone, m_pictureDone + count);
    else
        drawScene(path, m_pictureDone, m_pictureDone + count);
    glFinish();
    const double each = double(clock.nsecsElapsed()) / 1e9 / double(count);
    if (count >= 1000)
        m_segmentSeconds = m_segmentSeconds > 0.0 ? (m_segmentSeconds + each) / 2 : each;
    m_pictureDone += count;
}

void ToolpathView::drawSample(qsizetype path)
{
    m_sample->bind();
    glViewport(0, 0, m_sample->width(), m_sample->height());
    glClear(GL_COLOR_BUFFER_BIT);
    // The lighter path when there is one, else the path; either thinned to what a frame can draw.
    const bool light = m_lightVertices > 1 && m_shown < 0;
    const qsizetype segments = light ? m_lightVertices - 1 : path;
    const qsizetype budget = segmentsWithin(m_sampleSeconds > 0.0 ? m_sampleSeconds : m_segmentSeconds, kFrameSeconds);
    const qsizetype stride = strideFor(segments, budget);
    QElapsedTimer clock;
    clock.start();
    drawSegments(light ? m_lightVao : m_vao, {{0, segments}}, stride, segments + 1);
    drawRanges(m_range, QColor::fromRgb(kRangeColour), 2.0f, budget / 4);
    glFinish();
    const qsizetype drawn = (segments + stride - 1) / stride;
    if (drawn >= 1000) {
        const double each = double(clock.nsecsElapsed()) / 1e9 / double(drawn);
        m_sampleSeconds = m_sampleSeconds > 0.0 ? (m_sampleSeconds + each) / 2 : each;
    }
    m_sampleMatrix = m_pictureMatrix;
    m_sampleVersion = m_version;
    m_samplePath = path;
}

void ToolpathView::present(QOpenGLFramebufferObject &from)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from.handle());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
    glBlitFramebuffer(0, 0, from.width(), from.height(), 0, 0, from.width(), from.height(), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    glViewport(0, 0, from.width(), from.height());
}

void ToolpathView::paintGL()
{
    glClearColor(float(qRed(kBackground)) / 255, float(qGreen(kBackground)) / 255, float(qBlue(kBackground)) / 255, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (m_glReady && m_dirty) {
        upload();
        m_dirty = false;
        m_stale = {};
    } else if (m_glReady && m_geometry && m_stale.count > 0) {
        // A path changed in place: what changed, and what moved along after it, is sent again.
        const qsizetype vertices = m_geometry->vertexCount();
        const bool toTheEnd = m_stale.first + m_stale.count >= vertices || vertices != m_uploaded;
        uploadFrom(m_stale.first, toTheEnd ? -1 : m_stale.first + m_stale.count);
        m_stale = {};
    } else if (m_glReady && m_geometry && m_geometry->vertexCount() != m_uploaded) {
        uploadFrom(m_uploaded);
    }
    const bool wasWhole = m_pictureWhole;
    m_pictureWhole = true;
    if (m_glReady && m_uploaded > 1) {
        const QMatrix4x4 matrix = m_camera.projection() * m_camera.view();
        const qsizetype path = m_shown < 0 ? m_uploaded - 1 : std::min<qsizetype>(m_shown, m_uploaded - 1);
        const qsizetype scene = path + rangeSegments();
        makeTargets();
        // The picture goes on from where it is while only more of the same path is to be drawn
        // over it; anything else draws it again from the start.
        const bool goesOn = m_pictureVersion == m_version && m_pictureMatrix == matrix && path >= m_picturePath &&
                            (path == m_picturePath || m_range.empty()) && m_pictureDone <= scene;
        m_program.bind();
        if (m_light)
            uploadLight();
        m_program.setUniformValue("matrix", matrix);
        m_program.setUniformValue("over", QColor(0, 0, 0, 0));
        if (!goesOn) {
            // What was on the screen is not wiped for a picture that takes frames to draw: a
            // sample of the path stands in until it is whole.
            const bool shown = m_pictureDone > 0 || m_showSample;
            m_picture->bind();
            glViewport(0, 0, m_picture->width(), m_picture->height());
            glClear(GL_COLOR_BUFFER_BIT);
            m_pictureDone = 0;
            m_pictureMatrix = matrix;
            m_pictureVersion = m_version;
            m_showSample = shown && scene > sliceSegments();
        }
        m_picturePath = path;
        const bool moving = isMoving();
        const bool sampleShows = m_sampleVersion == m_version && m_sampleMatrix == matrix && m_samplePath == path;
        if (m_showSample && !sampleShows) {
            // One frame's work: the sample now, the picture from the next frame on.
            drawSample(path);
            present(*m_sample);
        } else if (m_showSample && moving) {
            present(*m_sample);
        } else {
            if (m_pictureDone < scene)
                drawSlice(path, scene);
            if (m_pictureDone >= scene)
                m_showSample = false;
            present(m_showSample ? *m_sample : *m_picture);
        }
        m_pictureWhole = m_pictureDone >= scene;
        m_drawnPercent = int(m_pictureDone * 100 / std::max<qsizetype>(1, scene));
        if (!m_pictureWhole && !moving)
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        drawRanges(m_caret, QColor(255, 236, 64), 3.0f, segmentsWithin(m_segmentSeconds, kFrameSeconds));
        m_program.release();
    }
    drawOverlay();
    if (m_pictureWhole && !wasWhole) {
        releaseFreedMemory(); // what drawing the picture took
        indexLater();
        lightLater();
        emit pictureDrawn();
    }
}

void ToolpathView::drawOverlay()
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor text(230, 230, 235);
    painter.setPen(text);
    const int line = fontMetrics().height();
    int y = line;
    const auto say = [&](const QString &what) {
        painter.drawText(8, y, what);
        y += line;
    };
    if (!m_glError.isEmpty())
        say(m_glError);
    if (!m_pictureWhole && m_showSample && isMoving())
        say(tr("A sample of the path, while the camera moves"));
    else if (!m_pictureWhole && m_showSample)
        say(tr("A sample of the path, while it is drawn whole: %1%").arg(m_drawnPercent));
    else if (!m_pictureWhole)
        say(tr("Drawing the path: %1% of it is on the screen").arg(m_drawnPercent));
    if (m_geometry && !m_geometry->feedExtents().isEmpty()) {
        const QVector3D size = m_geometry->feedExtents().size();
        say(tr("Part: X %1  Y %2  Z %3 mm").arg(length(size.x()), length(size.y()), length(size.z())));
    }
    if (const std::optional<double> d = measured())
        say(tr("Distance: %1 mm").arg(length(*d)));
    // Where the tool stands at the caret's line, and the points measured between.
    const auto mark = [&](const QVector3D &at, const QColor &colour) {
        const QVector3D p = m_camera.project(at);
        painter.setPen(QPen(colour, 2));
        painter.drawLine(QPointF(p.x() - 7, p.y()), QPointF(p.x() + 7, p.y()));
        painter.drawLine(QPointF(p.x(), p.y() - 7), QPointF(p.x(), p.y() + 7));
        painter.drawEllipse(QPointF(p.x(), p.y()), 4, 4);
    };
    if (m_toolAt)
        mark(*m_toolAt, QColor(255, 64, 64));
    if (m_measureFrom)
        mark(*m_measureFrom, QColor(120, 255, 120));
    if (m_measureTo) {
        mark(*m_measureTo, QColor(120, 255, 120));
        const QVector3D a = m_camera.project(*m_measureFrom);
        const QVector3D b = m_camera.project(*m_measureTo);
        painter.setPen(QPen(QColor(120, 255, 120), 1, Qt::DashLine));
        painter.drawLine(QPointF(a.x(), a.y()), QPointF(b.x(), b.y()));
    }
    // A restart's approach: rapids dashed, the feed down onto the start solid.
    for (std::size_t i = 1; i < m_approach.size(); ++i) {
        const QVector3D a = m_camera.project(m_approach[i - 1].at);
        const QVector3D b = m_camera.project(m_approach[i].at);
        painter.setPen(QPen(approachColour(), 2, m_approach[i].feed ? Qt::SolidLine : Qt::DashLine));
        painter.drawLine(QPointF(a.x(), a.y()), QPointF(b.x(), b.y()));
    }
    if (!m_approach.empty())
        mark(m_approach.back().at, approachColour());
    // The findings' lines, marked where the tool stood.
    if (m_geometry) {
        painter.setPen(QPen(QColor(255, 120, 40), 2));
        int shown = 0;
        for (const Marker &marker : m_geometry->markers()) {
            if (++shown > 2000)
                break;
            const QVector3D p = m_camera.project(marker.at);
            painter.drawLine(QPointF(p.x() - 4, p.y() - 4), QPointF(p.x() + 4, p.y() + 4));
            painter.drawLine(QPointF(p.x() - 4, p.y() + 4), QPointF(p.x() + 4, p.y() - 4));
        }
    }
}

void ToolpathView::mousePressEvent(QMouseEvent *event)
{
    m_pressAt = m_lastAt = event->position().toPoint();
    m_button = event->button();
    m_dragged = false;
    if (const std::optional<Pick> pick = pickAt(event->position(), false))
        m_pivot = pick->point;
    else
        m_pivot = m_camera.unproject(event->position());
}

void ToolpathView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (m_button == Qt::NoButton) {
        if (const std::optional<Pick> pick = pickAt(event->position(), false))
            emit moveHovered(pick->move, event->globalPosition().toPoint());
        return;
    }
    if (!m_dragged && (at - m_pressAt).manhattanLength() < 4)
        return;
    m_dragged = true;
    const QPoint delta = at - m_lastAt;
    m_lastAt = at;
    if (m_button == Qt::LeftButton)
        m_camera.orbit(delta.x(), delta.y(), m_pivot);
    else
        m_camera.pan(delta.x(), delta.y());
    cameraMoved();
    update();
}

void ToolpathView::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = !m_dragged && event->button() == Qt::LeftButton;
    m_button = Qt::NoButton;
    if (click) {
        if (const std::optional<Pick> pick = pickAt(event->position())) {
            if (event->modifiers() & Qt::ShiftModifier) {
                if (!m_measureFrom || m_measureTo) {
                    m_measureFrom = pick->point;
                    m_measureTo.reset();
                } else {
                    m_measureTo = pick->point;
                }
            } else {
                emit movePicked(pick->move, pick->line);
            }
        }
    }
    update();
}

void ToolpathView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0) {
        m_camera.zoomAt(event->position(), std::pow(1.2, steps));
        m_settle->start();
        cameraMoved();
        emit scaleChanged(m_camera.mmPerPixel());
    }
    event->accept();
    update();
}

} // namespace plot
