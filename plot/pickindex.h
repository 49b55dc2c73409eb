#pragma once

#include "camera.h"
#include "pathgeometry.h"

#include <QPointF>

#include <optional>
#include <vector>

namespace plot {

// The move nearest a point of the screen.
struct Pick
{
    qsizetype segment = 0;
    qint64 move = 0;
    qint64 line = 0;
    double distance = 0.0; // pixels from the point to the segment
    QVector3D point;       // the nearest point of the segment (mm)
};

// The segments of a geometry as one camera shows them, in a uniform grid of square cells over the
// viewport (larger cells when the segments are long on the screen), each cell listing the
// segments that cross it. Made again whenever the camera moves (one
// pass over the segments); the geometry must outlive it unchanged. Only a full geometry is
// indexed: a decimated one would pick the wrong moves.
class PickIndex
{
public:
    // Indexes what `camera` shows of `geometry`, in cells of `cellPixels` or more; false (and nothing
    // indexed) for a decimated one, or once `cancel` is set.
    bool build(const PathGeometry &geometry, const Camera &camera, int cellPixels = 16,
               const std::atomic<bool> *cancel = nullptr);
    bool isEmpty() const { return m_geometry == nullptr; }
    // Whether it was made for a camera that shows the same.
    bool madeFor(const Camera &camera) const;

    // The segment nearest `pixel` within `radius` pixels; of two as near, the one nearer the viewer.
    std::optional<Pick> nearest(const QPointF &pixel, double radius = 6.0) const;
    // The same found by one pass over the path, with no index: for a pick before the index of
    // the camera in force is made.
    static std::optional<Pick> nearestOf(const PathGeometry &geometry, const Camera &camera, const QPointF &pixel,
                                         double radius = 6.0);

private:
    const PathGeometry *m_geometry = nullptr;
    QSize m_viewport;
    QMatrix4x4 m_matrix; // projection * view when made
    ProjectionMap m_project;
    int m_cell = 16;
    int m_columns = 0;
    int m_rows = 0;
    std::vector<quint64> m_cellStart; // m_columns * m_rows + 1 offsets into m_entries
    std::vector<quint8> m_entries;    // segment indices, cell by cell, as distances (see build)
};

} // namespace plot
