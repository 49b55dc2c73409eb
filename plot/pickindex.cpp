#include "pickindex.h"

#include <cmath>

namespace plot {

namespace {

// The distance of p from the segment a-b on the screen, and where along it (0 ... 1) the nearest point is.
double screenDistance(const QPointF &p, const QVector3D &a, const QVector3D &b, double &t)
{
    const double abx = b.x() - a.x(), aby = b.y() - a.y();
    const double length2 = abx * abx + aby * aby;
    t = length2 > 0.0 ? std::clamp(((p.x() - a.x()) * abx + (p.y() - a.y()) * aby) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(a.x() + abx * t - p.x(), a.y() + aby * t - p.y());
}

} // namespace

bool PickIndex::build(const PathGeometry &geometry, const Camera &camera, int cellPixels)
{
    *this = PickIndex();
    if (geometry.isDecimated())
        return false;
    m_geometry = &geometry;
    m_viewport = camera.viewport();
    m_matrix = camera.projection() * camera.view();
    m_cell = std::max(4, cellPixels);
    m_columns = (m_viewport.width() + m_cell - 1) / m_cell;
    m_rows = (m_viewport.height() + m_cell - 1) / m_cell;

    const qsizetype vertices = geometry.vertexCount();
    m_screen.resize(std::size_t(vertices));
    for (qsizetype i = 0; i < vertices; ++i)
        m_screen[std::size_t(i)] = camera.project(geometry.vertex(i));

    // Every segment goes into the cells it crosses (those whose centre lies within half a cell's
    // diagonal of it): counted first, then placed.
    const double reach = m_cell * M_SQRT1_2;
    const auto eachCell = [&](qsizetype s, const auto &visit) {
        const QVector3D &a = m_screen[std::size_t(s)];
        const QVector3D &b = m_screen[std::size_t(s + 1)];
        const int c0 = std::max(0, int(std::floor(std::min(a.x(), b.x()) / m_cell)));
        const int c1 = std::min(m_columns - 1, int(std::floor(std::max(a.x(), b.x()) / m_cell)));
        const int r0 = std::max(0, int(std::floor(std::min(a.y(), b.y()) / m_cell)));
        const int r1 = std::min(m_rows - 1, int(std::floor(std::max(a.y(), b.y()) / m_cell)));
        const bool small = c1 - c0 <= 1 && r1 - r0 <= 1;
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                double t;
                if (small || screenDistance(QPointF((c + 0.5) * m_cell, (r + 0.5) * m_cell), a, b, t) <= reach)
                    visit(r * m_columns + c);
            }
        }
    };
    m_cellStart.assign(std::size_t(m_columns) * m_rows + 1, 0);
    const qsizetype segments = geometry.segmentCount();
    for (qsizetype s = 0; s < segments; ++s)
        eachCell(s, [&](int cell) { ++m_cellStart[std::size_t(cell) + 1]; });
    for (std::size_t i = 1; i < m_cellStart.size(); ++i)
        m_cellStart[i] += m_cellStart[i - 1];
    m_entries.resize(m_cellStart.back());
    std::vector<quint32> filled(m_cellStart.begin(), m_cellStart.end() - 1);
    for (qsizetype s = 0; s < segments; ++s)
        eachCell(s, [&](int cell) { m_entries[filled[std::size_t(cell)]++] = quint32(s); });
    return true;
}

bool PickIndex::madeFor(const Camera &camera) const
{
    return m_geometry && m_viewport == camera.viewport() && m_matrix == camera.projection() * camera.view();
}

std::optional<Pick> PickIndex::nearest(const QPointF &pixel, double radius) const
{
    if (!m_geometry || m_columns == 0)
        return std::nullopt;
    const int c0 = std::max(0, int(std::floor((pixel.x() - radius) / m_cell)));
    const int c1 = std::min(m_columns - 1, int(std::floor((pixel.x() + radius) / m_cell)));
    const int r0 = std::max(0, int(std::floor((pixel.y() - radius) / m_cell)));
    const int r1 = std::min(m_rows - 1, int(std::floor((pixel.y() + radius) / m_cell)));
    std::optional<Pick> best;
    float bestDepth = 0.0f;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            const std::size_t cell = std::size_t(r) * m_columns + c;
            for (quint32 e = m_cellStart[cell]; e < m_cellStart[cell + 1]; ++e) {
                const quint32 s = m_entries[e];
                const QVector3D &a = m_screen[s];
                const QVector3D &b = m_screen[s + 1];
                double t;
                const double d = screenDistance(pixel, a, b, t);
                if (d > radius)
                    continue;
                const float depth = a.z() + (b.z() - a.z()) * float(t);
                // Half a pixel apart counts as as near: then the one in front is taken.
                const bool nearer = !best || d < best->distance - 0.5 || (d <= best->distance + 0.5 && depth > bestDepth);
                if (!nearer)
                    continue;
                const Segment &segment = m_geometry->segments()[s];
                const QVector3D from = m_geometry->vertex(s);
                best = Pick{qsizetype(s), segment.move, segment.line, d, from + (m_geometry->vertex(s + 1) - from) * float(t)};
                bestDepth = depth;
            }
        }
    }
    return best;
}

} // namespace plot
