#include "lines.h"

#include "raster.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <thread>

namespace plot {

QRgb segmentColour(const Segment &segment)
{
    switch (segment.kind) {
    case SegmentKind::Rapid: return qRgb(99, 100, 108);
    case SegmentKind::Probe: return qRgb(235, 90, 235);
    default: return toolColour(segment.tool).rgb();
    }
}

namespace {

// A colour as the four bytes R, G, B, A of a Format_RGBA8888 pixel, read as one word.
quint32 pixelOf(QRgb colour)
{
    const uchar bytes[4] = {uchar(qRed(colour)), uchar(qGreen(colour)), uchar(qBlue(colour)), uchar(qAlpha(colour))};
    return qFromUnaligned<quint32>(bytes);
}

// One line from (x0, y0) to (x1, y1) (pixels, continuous: pixel i covers i ... i + 1) into an
// image of width x height, only its rows top ... bottom - 1. The line is clipped to the whole
// image and every pixel worked out from its start, so that bands drawn apart meet exactly.
void drawLine(quint32 *pixels, qsizetype stride, int width, int height, int top, int bottom, float x0, float y0, float x1,
              float y1, quint32 colour, bool thick)
{
    const float dx = x1 - x0, dy = y1 - y0;
    float t0, t1;
    if (!clipLine(x0, y0, dx, dy, float(width), float(height), t0, t1) || t0 >= t1)
        return;
    const float x = x0 + dx * t0, y = y0 + dy * t0;
    const float along = std::max(std::abs(dx), std::abs(dy)) * (t1 - t0);
    if (along <= 0.0f)
        return;
    // A segment shorter than a pixel still puts its start down: a run of them (a curve in tiny
    // moves) is drawn whole, as GL draws it.
    const int steps = std::max(1, int(along));
    const float sx = dx * (t1 - t0) / along, sy = dy * (t1 - t0) / along;
    // The steps that reach the band's rows and two more each side (a thick line's second pixel
    // is a row below, and rounding may take a step a row on).
    int first = 0, last = steps;
    if (sy != 0.0f) {
        const float ka = (float(top - 2) - y) / sy, kb = (float(bottom + 2) - y) / sy;
        first = std::max(0, int(std::floor(std::min(ka, kb))));
        last = std::min(steps, int(std::ceil(std::max(ka, kb))) + 1);
    } else if (y < float(top - 2) || y >= float(bottom + 2)) {
        return;
    }
    const bool wide = std::abs(dx) >= std::abs(dy); // a thick line's second pixel is below, else beside
    const unsigned columns = unsigned(width), rows = unsigned(bottom - top);
    for (int k = first; k < last; ++k) {
        const int ix = int(x + float(k) * sx), iy = int(y + float(k) * sy);
        if (unsigned(ix) < columns && unsigned(iy - top) < rows)
            pixels[qsizetype(iy) * stride + ix] = colour;
        if (thick) {
            const int jx = wide ? ix : ix + 1, jy = wide ? iy + 1 : iy;
            if (unsigned(jx) < columns && unsigned(jy - top) < rows)
                pixels[qsizetype(jy) * stride + jx] = colour;
        }
    }
}

} // namespace

bool drawRuns(QImage &image, const PathGeometry &geometry, const ProjectionMap &map, const std::vector<SegmentRun> &runs,
              int top, int bottom, const std::atomic<bool> *cancel)
{
    Q_ASSERT(image.format() == QImage::Format_RGBA8888);
    auto *pixels = reinterpret_cast<quint32 *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    const float *xyz = geometry.vertices().data();
    const std::vector<Segment> &segments = geometry.segments();
    top = std::max(0, top);
    bottom = std::min(image.height(), bottom);
    for (const SegmentRun &run : runs) {
        const qsizetype end = std::min(run.first + run.count, geometry.segmentCount());
        const quint32 own = pixelOf(run.colour);
        QVector3D a = run.first < end ? map(xyz + 3 * run.first) : QVector3D();
        for (qsizetype s = std::max<qsizetype>(0, run.first); s < end; ++s) {
            if (cancel && (s & 0xfff) == 0 && cancel->load())
                return false;
            const QVector3D b = map(xyz + 3 * (s + 1));
            drawLine(pixels, stride, image.width(), image.height(), top, bottom, a.x(), a.y(), b.x(), b.y(),
                     run.colour ? own : pixelOf(segmentColour(segments[std::size_t(s)])), run.width > 1);
            a = b;
        }
    }
    return !(cancel && cancel->load());
}

bool drawRunsInBands(QImage &image, const PathGeometry &geometry, const ProjectionMap &map,
                     const std::vector<SegmentRun> &runs, int threads, const std::atomic<bool> *cancel)
{
    const int bands = std::clamp(threads, 1, std::max(1, image.height() / 16));
    const int rows = (image.height() + bands - 1) / bands;
    std::vector<std::thread> helpers;
    std::atomic<bool> whole{true};
    for (int b = 1; b < bands; ++b) {
        helpers.emplace_back([&, b] {
            if (!drawRuns(image, geometry, map, runs, b * rows, (b + 1) * rows, cancel))
                whole = false;
        });
    }
    const bool first = drawRuns(image, geometry, map, runs, 0, rows, cancel);
    for (std::thread &helper : helpers)
        helper.join();
    return first && whole;
}

} // namespace plot
