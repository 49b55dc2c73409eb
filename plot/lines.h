#pragma once

#include "camera.h"
#include "pathgeometry.h"

#include <QImage>

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
