#pragma once

#include "camera.h"
#include "pathgeometry.h"

#include <QColor>
#include <QImage>

#include <vector>

namespace plot {

// How a path is drawn: rapids pale and dashed, cutting moves in their tool's colour, probe moves
// apart, the highlighted moves over everything, the findings' places ringed.
struct RasterStyle
{
    QColor background{24, 26, 32};
    QColor rapid{150, 150, 162};
    QColor probe{235, 90, 235};
    QColor highlight{255, 236, 64};
    QColor marker{255, 64, 64};
    QColor box{84, 88, 108};
    bool drawBox = true;       // the extents of the cutting moves
    double lineWidth = 1.0;    // pixels, of cutting moves and rapids
    // Segments of the full geometry to draw in the highlight colour, twice as wide.
    std::vector<SegmentRange> highlighted;
    // Above this many segments the raster draws the path decimated to half a pixel.
    qsizetype segmentBudget = 400000;
};

// The colour of a tool's cutting moves: a fixed palette of distinct colours, by tool number.
QColor toolColour(int tool);

// What a raster drew.
struct RasterReport
{
    qsizetype segmentsDrawn = 0;
    bool decimated = false;
};

// Draws `geometry` as `camera` shows it into `image`, which is filled with the background first.
// The camera's viewport should be the image's size. Works with a core application alone: no text
// is drawn, so no font is needed.
RasterReport draw(QImage &image, const PathGeometry &geometry, const Camera &camera, const RasterStyle &style = {});
// The same into a new image of the camera's viewport.
QImage render(const PathGeometry &geometry, const Camera &camera, const RasterStyle &style = {},
              RasterReport *report = nullptr);

} // namespace plot
