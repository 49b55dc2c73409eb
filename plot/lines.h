#pragma once

#include "camera.h"
#include "pathgeometry.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <vector>

namespace plot {

// A run of consecutive segments of a path to draw: in their own colours (colour 0) or all in one,
// one pixel wide or two.
struct SegmentRun
{
    qsizetype first = 0;
    qsizetype count = 0;
    QRgb colour = 0;
    int width = 1;
};

// Clips the line from (x0, y0) along (dx, dy) to the rectangle 0 ... width, 0 ... height (Liang
// and Barsky): false when it misses it, else the part within from t0 to t1 (0 ... 1) along it.
template<typename T>
bool clipLine(T x0, T y0, T dx, T dy, T width, T height, T &t0, T &t1)
{
    t0 = 0;
    t1 = 1;
    const T p[4] = {-dx, dx, -dy, dy};
    const T q[4] = {x0, width - x0, y0, height - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const T t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

// The colour the toolpath view draws a segment in: rapids pale (opaque, as blended over the
// background), probe moves apart, cutting moves in their tool's colour.
QRgb segmentColour(const Segment &segment);

// Draws the runs' segments, in order, as `map` shows them, into `image` (Format_RGBA8888, as GL
// takes it): each a line stepped pixel by pixel along its longer axis,
// clipped to the image, the pixel at its end left for the next (as GL draws a line strip). Only
// rows top ... bottom - 1 are drawn, so that bands of one image can be drawn on threads of their
// own and give the same picture. Stops, returning false, once `cancel` is set.
bool drawRuns(QImage &image, const PathGeometry &geometry, const ProjectionMap &map, const std::vector<SegmentRun> &runs,
              int top, int bottom, const std::atomic<bool> *cancel = nullptr);
// The same over the whole image, a band a thread on up to `threads` threads.
bool drawRunsInBands(QImage &image, const PathGeometry &geometry, const ProjectionMap &map,
                     const std::vector<SegmentRun> &runs, int threads, const std::atomic<bool> *cancel = nullptr);

} // namespace plot
