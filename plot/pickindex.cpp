#include "pickindex.h"

#include "lines.h"

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

bool PickIndex::build(const PathGeometry &geometry, const Camera &camera, int cellPixels, const std::atomic<bool> *cancel)
{
    // Each pass over the segments looks at `cancel` every 65,536 of them; stopped, nothing is indexed.
    const auto stopped = [this, cancel](qsizetype s) {
        if (!cancel || (s & 0xffff) != 0 || !cancel->load())
            return false;
        *this = PickIndex();
        return true;
    };
    *this = PickIndex();
    if (geometry.isDecimated())
        return false;
    m_geometry = &geometry;
    m_viewport = camera.viewport();
    m_matrix = camera.projection() * camera.view();
    m_project = ProjectionMap(camera);
    const float *xyz = geometry.vertices().data();

    // The cells are made larger when the segments are long on the screen, so the grid holds about
    // seven entries a segment at most: its lists grow with the path, never with the picture.
    const qsizetype segments = geometry.segmentCount();
    const double diagonal = std::hypot(double(m_viewport.width()), double(m_viewport.height()));
    double length = 0.0;
    for (qsizetype s = 0; s < segments; ++s) {
        if (stopped(s))
            return false;
        const QVector3D a = m_project(xyz + 3 * s);
        const QVector3D b = m_project(xyz + 3 * (s + 1));
        length += std::min(diagonal, std::hypot(double(b.x() - a.x()), double(b.y() - a.y())));
    }
    const double longest = std::max(m_viewport.width(), m_viewport.height()) / 4.0;
    m_cell = int(std::clamp(std::ceil(length / (6.0 * std::max<qsizetype>(1, segments))), double(std::max(4, cellPixels)),
                            std::max(longest, double(std::max(4, cellPixels)))));
    m_columns = (m_viewport.width() + m_cell - 1) / m_cell;
    m_rows = (m_viewport.height() + m_cell - 1) / m_cell;

    // Every segment goes into the cells it crosses within the grid, found by walking along it from
    // cell to cell: counted first, then placed.
    const double width = double(m_columns) * m_cell;
    const double height = double(m_rows) * m_cell;
    const auto eachCell = [&](qsizetype s, const auto &visit) {
        const QVector3D a = m_project(xyz + 3 * s);
        const QVector3D b = m_project(xyz + 3 * (s + 1));
        double x0 = a.x(), y0 = a.y();
        const double dx = double(b.x()) - x0, dy = double(b.y()) - y0;
        double t0, t1;
        if (!clipLine(x0, y0, dx, dy, width, height, t0, t1))
            return;
        const double sx = x0 + dx * t0, sy = y0 + dy * t0;
        const double ex = x0 + dx * t1, ey = y0 + dy * t1;
        int c = std::clamp(int(std::floor(sx / m_cell)), 0, m_columns - 1);
        int r = std::clamp(int(std::floor(sy / m_cell)), 0, m_rows - 1);
        const int lastC = std::clamp(int(std::floor(ex / m_cell)), 0, m_columns - 1);
        const int lastR = std::clamp(int(std::floor(ey / m_cell)), 0, m_rows - 1);
        const double ldx = ex - sx, ldy = ey - sy;
        const int stepC = ldx > 0 ? 1 : -1, stepR = ldy > 0 ? 1 : -1;
        const double deltaC = ldx != 0.0 ? m_cell / std::abs(ldx) : HUGE_VAL;
        const double deltaR = ldy != 0.0 ? m_cell / std::abs(ldy) : HUGE_VAL;
        double nextC = ldx != 0.0 ? ((c + (ldx > 0 ? 1 : 0)) * double(m_cell) - sx) / ldx : HUGE_VAL;
        double nextR = ldy != 0.0 ? ((r + (ldy > 0 ? 1 : 0)) * double(m_cell) - sy) / ldy : HUGE_VAL;
        visit(r * m_columns + c);
        for (int steps = m_columns + m_rows; (c != lastC || r != lastR) && steps > 0; --steps) {
            if (nextC < nextR) {
                c += stepC;
                nextC += deltaC;
            } else {
                r += stepR;
                nextR += deltaR;
            }
            if (c < 0 || c >= m_columns || r < 0 || r >= m_rows)
                break;
            visit(r * m_columns + c);
        }
    };
    // A cell lists its segments in order, each as its distance from the one before (the first
    // from 0), seven bits a byte: long segments cross many cells, and neighbours in a cell are
    // near in the path. Counted first, then written.
    const std::size_t cells = std::size_t(m_columns) * m_rows;
    std::vector<quint32> last(cells, 0);
    m_cellStart.assign(cells + 1, 0);
    for (qsizetype s = 0; s < segments; ++s) {
        if (stopped(s))
            return false;
        eachCell(s, [&](int cell) {
            for (quint32 d = quint32(s) - last[std::size_t(cell)];; d >>= 7) {
                ++m_cellStart[std::size_t(cell) + 1];
                if (d < 0x80)
                    break;
            }
            last[std::size_t(cell)] = quint32(s);
        });
    }
    for (std::size_t i = 1; i < m_cellStart.size(); ++i)
        m_cellStart[i] += m_cellStart[i - 1];
    m_entries.resize(std::size_t(m_cellStart.back()));
    std::vector<quint64> filled(m_cellStart.begin(), m_cellStart.end() - 1);
    std::fill(last.begin(), last.end(), 0);
    for (qsizetype s = 0; s < segments; ++s) {
        if (stopped(s))
            return false;
        eachCell(s, [&](int cell) {
            quint64 &at = filled[std::size_t(cell)];
            quint32 d = quint32(s) - last[std::size_t(cell)];
            for (; d >= 0x80; d >>= 7)
                m_entries[std::size_t(at++)] = quint8(d | 0x80);
            m_entries[std::size_t(at++)] = quint8(d);
            last[std::size_t(cell)] = quint32(s);
        });
    }
    return true;
}

bool PickIndex::madeFor(const Camera &camera) const
{
    return m_geometry && m_viewport == camera.viewport() && m_matrix == camera.projection() * camera.view();
}

namespace {

// The nearest of the segments offered to a pixel, within a radius; of two as near (half a pixel
// apart), the one nearer the viewer.
class Nearest
{
public:
    Nearest(const PathGeometry &geometry, const QPointF &pixel, double radius)
        : m_geometry(geometry), m_pixel(pixel), m_radius(radius)
    {
    }
    // Segment s, its ends projected to pixels and depth.
    void offer(qsizetype s, const QVector3D &a, const QVector3D &b)
    {
        double t;
        const double d = screenDistance(m_pixel, a, b, t);
        if (d > m_radius)
            return;
        const float depth = a.z() + (b.z() - a.z()) * float(t);
        if (m_best && d >= m_best->distance - 0.5 && (d > m_best->distance + 0.5 || depth <= m_depth))
            return;
        const Segment &segment = m_geometry.segments()[std::size_t(s)];
        const QVector3D from = m_geometry.vertex(s);
        m_best = Pick{s, segment.move, segment.line, d, from + (m_geometry.vertex(s + 1) - from) * float(t)};
        m_depth = depth;
    }
    const std::optional<Pick> &best() const { return m_best; }

private:
    const PathGeometry &m_geometry;
    QPointF m_pixel;
    double m_radius;
    std::optional<Pick> m_best;
    float m_depth = 0.0f;
};

} // namespace

std::optional<Pick> PickIndex::nearest(const QPointF &pixel, double radius) const
{
    if (!m_geometry || m_columns == 0)
        return std::nullopt;
    const int c0 = std::max(0, int(std::floor((pixel.x() - radius) / m_cell)));
    const int c1 = std::min(m_columns - 1, int(std::floor((pixel.x() + radius) / m_cell)));
    const int r0 = std::max(0, int(std::floor((pixel.y() - radius) / m_cell)));
    const int r1 = std::min(m_rows - 1, int(std::floor((pixel.y() + radius) / m_cell)));
    Nearest nearest(*m_geometry, pixel, radius);
    const float *xyz = m_geometry->vertices().data();
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            const std::size_t cell = std::size_t(r) * m_columns + c;
            std::size_t s = 0;
            for (std::size_t e = std::size_t(m_cellStart[cell]); e < std::size_t(m_cellStart[cell + 1]);) {
                quint32 d = 0;
                for (int shift = 0;; shift += 7) {
                    const quint8 byte = m_entries[e++];
                    d |= quint32(byte & 0x7f) << shift;
                    if (byte < 0x80)
                        break;
                }
                s += d;
                nearest.offer(qsizetype(s), m_project(xyz + 3 * s), m_project(xyz + 3 * (s + 1)));
            }
        }
    }
    return nearest.best();
}

std::optional<Pick> PickIndex::nearestOf(const PathGeometry &geometry, const Camera &camera, const QPointF &pixel, double radius)
{
    if (geometry.isDecimated() || geometry.segmentCount() == 0)
        return std::nullopt;
    Nearest nearest(geometry, pixel, radius);
    const float left = float(pixel.x() - radius), right = float(pixel.x() + radius);
    const float top = float(pixel.y() - radius), bottom = float(pixel.y() + radius);
    const ProjectionMap project(camera);
    const float *xyz = geometry.vertices().data();
    const auto pixelOf = [&](const float *v, float &x, float &y) {
        x = project.origin.x() + project.x.x() * v[0] + project.y.x() * v[1] + project.z.x() * v[2];
        y = project.origin.y() + project.x.y() * v[0] + project.y.y() * v[1] + project.z.y() * v[2];
    };
    float ax, ay;
    pixelOf(xyz, ax, ay);
    for (qsizetype s = 0; s < geometry.segmentCount(); ++s) {
        float bx, by;
        pixelOf(xyz + 3 * (s + 1), bx, by);
        if (std::max(ax, bx) >= left && std::min(ax, bx) <= right && std::max(ay, by) >= top && std::min(ay, by) <= bottom)
            nearest.offer(s, project(xyz + 3 * s), project(xyz + 3 * (s + 1)));
        ax = bx;
        ay = by;
    }
    return nearest.best();
}

} // namespace plot
