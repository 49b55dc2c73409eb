#include "pathgeometry.h"

#include "toolpath.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

namespace plot {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kMostChords = 1 << 16; // an arc no tolerance should make heavier than this

// The plane's two axes, in the order its direction counts from, and its normal.
void planeAxes(int plane, int &a, int &b, int &n)
{
    if (plane == 18) {
        a = 2, b = 0, n = 1;
    } else if (plane == 19) {
        a = 1, b = 2, n = 0;
    } else {
        a = 0, b = 1, n = 2;
    }
}

SegmentKind kindOf(interp::MoveKind kind)
{
    switch (kind) {
    case interp::MoveKind::Rapid:
        return SegmentKind::Rapid;
    case interp::MoveKind::Arc:
        return SegmentKind::Arc;
    case interp::MoveKind::Probe:
        return SegmentKind::Probe;
    default:
        return SegmentKind::Feed;
    }
}

void push(std::vector<float> &xyz, const QVector3D &p)
{
    xyz.push_back(p.x());
    xyz.push_back(p.y());
    xyz.push_back(p.z());
}

QVector3D toVector(const double p[3])
{
    return QVector3D(float(p[0]), float(p[1]), float(p[2]));
}

bool cutting(SegmentKind kind)
{
    return kind != SegmentKind::Rapid;
}

// The distance of p from the segment a-b.
float distanceToSegment(const QVector3D &p, const QVector3D &a, const QVector3D &b)
{
    const QVector3D ab = b - a;
    const float length2 = QVector3D::dotProduct(ab, ab);
    const float t = length2 > 0.0f ? std::clamp(QVector3D::dotProduct(p - a, ab) / length2, 0.0f, 1.0f) : 0.0f;
    return (a + ab * t - p).length();
}

} // namespace

int chordsFor(double radius, double radians, double tolerance)
{
    radians = std::abs(radians);
    if (!(radius > 1e-9) || !(radians > 0.0))
        return 1;
    // A chord through angle alpha strays r (1 - cos(alpha / 2)) from the arc.
    const double alpha = tolerance > 0.0 && tolerance < radius ? 2.0 * std::acos(1.0 - tolerance / radius)
                                                               : std::numbers::pi / 2.0;
    const double chords = std::ceil(radians / std::max(alpha, 1e-12));
    return int(std::clamp(chords, 1.0, double(kMostChords)));
}

std::vector<QVector3D> tessellateArc(const double start[3], const double end[3], const double centre[3], int plane,
                                     int turn, double tolerance)
{
    return tessellateSweep(start, end, centre, plane, interp::arcSweep(start, end, centre, plane, turn), tolerance);
}

std::vector<QVector3D> tessellateSweep(const double start[3], const double end[3], const double centre[3], int plane,
                                       double sweep, double tolerance)
{
    int a, b, n;
    planeAxes(plane, a, b, n);
    const double sa = start[a] - centre[a], sb = start[b] - centre[b];
    const double startRadius = std::hypot(sa, sb);
    const double endRadius = std::hypot(end[a] - centre[a], end[b] - centre[b]);
    const double from = std::atan2(sb, sa);
    const int chords = chordsFor(std::max(startRadius, endRadius), sweep, tolerance);
    std::vector<QVector3D> points;
    points.reserve(std::size_t(chords));
    for (int k = 1; k < chords; ++k) {
        const double f = double(k) / chords;
        const double angle = from + sweep * f;
        const double radius = startRadius + (endRadius - startRadius) * f;
        double p[3];
        p[a] = centre[a] + radius * std::cos(angle);
        p[b] = centre[b] + radius * std::sin(angle);
        p[n] = start[n] + (end[n] - start[n]) * f;
        points.push_back(toVector(p));
    }
    points.push_back(toVector(end));
    return points;
}

// ---- PathBuilder ----

PathBuilder::PathBuilder(double tolerance) : m_tolerance(tolerance > 0.0 ? tolerance : 0.01) {}

void PathBuilder::setStart(const QVector3D &start)
{
    m_at[0] = start.x(), m_at[1] = start.y(), m_at[2] = start.z();
}

void PathBuilder::startAfter(const interp::Move &move)
{
    for (int i = 0; i < 3; ++i)
        m_at[i] = move.end[i] + move.offset[i];
}

QVector3D PathBuilder::position() const
{
    return toVector(m_at);
}

PathPiece PathBuilder::add(const QList<interp::Move> &moves, qint64 first, const QList<interp::Finding> &findings)
{
    PathPiece piece;
    piece.firstMove = first;
    extend(piece, moves, findings);
    return piece;
}

void PathBuilder::extend(PathPiece &piece, const interp::Move *moves, qsizetype count, const QList<interp::Finding> &findings)
{
    qint64 index = piece.firstMove + piece.moveCount;
    for (const interp::Move &move : std::span(moves, std::size_t(count))) {
        const qint64 number = index++;
        if (move.kind == interp::MoveKind::Dwell)
            continue;
        double end[3];
        for (int i = 0; i < 3; ++i)
            end[i] = move.end[i] + move.offset[i];
        const bool arc = move.kind == interp::MoveKind::Arc;
        if (!arc && end[0] == m_at[0] && end[1] == m_at[1] && end[2] == m_at[2])
            continue; // goes nowhere
        if (piece.xyz.empty())
            push(piece.xyz, toVector(m_at));
        const Segment segment{quint32(number), quint32(std::clamp<qint64>(move.line, 0, Segment::kLastLine)), kindOf(move.kind),
                              qint32(move.tool)};
        if (arc) {
            ArcRecord record;
            record.move = number;
            record.plane = move.plane;
            record.turn = move.turn == 0 ? 1 : move.turn;
            for (int i = 0; i < 3; ++i)
                record.centre[i] = move.centre[i] + move.offset[i];
            record.sweep = interp::arcSweep(m_at, end, record.centre, record.plane, record.turn);
            for (const QVector3D &p : tessellateSweep(m_at, end, record.centre, record.plane, record.sweep, m_tolerance)) {
                push(piece.xyz, p);
                piece.segments.push_back(segment);
            }
            piece.arcs.push_back(record);
        } else {
            push(piece.xyz, toVector(end));
            piece.segments.push_back(segment);
        }
        std::copy(end, end + 3, m_at);
    }
    piece.moveCount = index - piece.firstMove;
    for (const interp::Finding &finding : findings)
        piece.markers.push_back(Marker{toVector(m_at), finding.line});
}

// ---- PathGeometry ----

void PathGeometry::clear()
{
    *this = PathGeometry();
}

namespace {

// Room for `extra` more: what was reserved, else an eighth more than now (not twice: a path of
// millions of segments would keep as much again unused).
template<typename T>
void makeRoom(std::vector<T> &v, std::size_t extra, std::size_t reserved)
{
    const std::size_t needed = v.size() + extra;
    if (needed > v.capacity())
        v.reserve(std::max({needed, reserved, v.capacity() + v.capacity() / 8, std::size_t(4096)}));
}

} // namespace

void PathGeometry::reserve(qsizetype segments)
{
    m_reserved = std::size_t(std::max<qsizetype>(0, segments));
    m_segments.reserve(m_reserved);
    m_xyz.reserve(3 * (m_reserved + 1));
}

void PathGeometry::append(PathPiece piece)
{
    m_moves = std::max(m_moves, piece.firstMove + piece.moveCount);
    m_markers.insert(m_markers.end(), piece.markers.begin(), piece.markers.end());
    if (piece.segments.empty())
        return;
    const qsizetype firstSegment = segmentCount();
    const auto xyzFrom = piece.xyz.begin() + (m_xyz.empty() ? 0 : 3);
    makeRoom(m_xyz, std::size_t(piece.xyz.end() - xyzFrom), 3 * (m_reserved + 1));
    m_xyz.insert(m_xyz.end(), xyzFrom, piece.xyz.end());
    makeRoom(m_segments, piece.segments.size(), m_reserved);
    m_segments.insert(m_segments.end(), piece.segments.begin(), piece.segments.end());
    m_arcs.insert(m_arcs.end(), piece.arcs.begin(), piece.arcs.end());
    addExtents(firstSegment);
}

namespace {

// Puts `from` ... `to` - 1 of another vector in the place of elements first ... last - 1: what
// lengths have in common is written over, so that a change of the same size moves nothing else.
template<typename T, typename It>
void splice(std::vector<T> &into, std::size_t first, std::size_t last, It from, It to)
{
    const std::size_t put = std::size_t(std::distance(from, to));
    const std::size_t common = std::min(put, last - first);
    std::copy(from, from + std::ptrdiff_t(common), into.begin() + std::ptrdiff_t(first));
    if (put > common)
        into.insert(into.begin() + std::ptrdiff_t(first + common), from + std::ptrdiff_t(common), to);
    else
        into.erase(into.begin() + std::ptrdiff_t(first + common), into.begin() + std::ptrdiff_t(last));
}

} // namespace

SegmentRange PathGeometry::replaceMoves(qint64 removedMoves, PathPiece piece, qsizetype firstMarker,
                                        qsizetype removedMarkers, const std::function<qint64(qint64)> &lineNow)
{
    const qint64 first = piece.firstMove;
    const qint64 shift = piece.moveCount - removedMoves;
    const auto byMove = [](const auto &s, qint64 m) { return s.move < m; };
    const std::size_t s0 = std::size_t(std::lower_bound(m_segments.begin(), m_segments.end(), first, byMove) - m_segments.begin());
    const std::size_t s1 =
        std::size_t(std::lower_bound(m_segments.begin() + std::ptrdiff_t(s0), m_segments.end(), first + removedMoves, byMove) -
                    m_segments.begin());
    const std::size_t added = piece.segments.size();
    const qsizetype verticesBefore = vertexCount();

    // Segment i ends at vertex i + 1: the piece's own first vertex is where the path stands already.
    if (m_xyz.empty())
        m_xyz = std::move(piece.xyz);
    else if (!piece.xyz.empty())
        splice(m_xyz, 3 * (s0 + 1), 3 * (s1 + 1), piece.xyz.begin() + 3, piece.xyz.end());
    else
        m_xyz.erase(m_xyz.begin() + std::ptrdiff_t(3 * (s0 + 1)), m_xyz.begin() + std::ptrdiff_t(3 * (s1 + 1)));
    splice(m_segments, s0, s1, piece.segments.begin(), piece.segments.end());
    if (m_segments.empty())
        m_xyz.clear();

    const auto a0 = std::size_t(std::lower_bound(m_arcs.begin(), m_arcs.end(), first, byMove) - m_arcs.begin());
    const auto a1 = std::size_t(std::lower_bound(m_arcs.begin(), m_arcs.end(), first + removedMoves, byMove) - m_arcs.begin());
    splice(m_arcs, a0, a1, piece.arcs.begin(), piece.arcs.end());
    firstMarker = std::clamp<qsizetype>(firstMarker, 0, qsizetype(m_markers.size()));
    removedMarkers = std::clamp<qsizetype>(removedMarkers, 0, qsizetype(m_markers.size()) - firstMarker);
    splice(m_markers, std::size_t(firstMarker), std::size_t(firstMarker + removedMarkers), piece.markers.begin(),
           piece.markers.end());
    m_moves += shift;

    // What the moves after the piece made keeps its vertices but not its numbers.
    if (shift != 0) {
        for (auto s = m_segments.begin() + std::ptrdiff_t(s0 + added); s != m_segments.end(); ++s)
            s->move = quint32(s->move + shift);
        for (auto r = m_arcs.begin() + std::ptrdiff_t(a0 + piece.arcs.size()); r != m_arcs.end(); ++r)
            r->move += shift;
    }
    if (lineNow) {
        for (std::size_t i = 0; i < m_segments.size(); ++i) {
            if (i < s0 || i >= s0 + added)
                m_segments[i].line = quint32(std::clamp<qint64>(lineNow(m_segments[i].line), 0, Segment::kLastLine));
        }
        for (std::size_t i = 0; i < m_markers.size(); ++i) {
            if (qsizetype(i) < firstMarker || qsizetype(i) >= firstMarker + qsizetype(piece.markers.size()))
                m_markers[i].line = lineNow(m_markers[i].line);
        }
    }

    m_all = m_feeds = m_rapids = Box();
    addExtents(0);
    const qsizetype from = qsizetype(s0);
    if (vertexCount() == verticesBefore)
        return SegmentRange{from, std::min<qsizetype>(qsizetype(added) + 1, vertexCount() - from)};
    return SegmentRange{from, std::max<qsizetype>(0, vertexCount() - from)};
}

void PathGeometry::addExtents(qsizetype firstSegment)
{
    for (qsizetype i = firstSegment; i < segmentCount(); ++i) {
        Box &box = cutting(m_segments[i].kind) ? m_feeds : m_rapids;
        box.add(vertex(i));
        box.add(vertex(i + 1));
    }
    m_all = m_feeds;
    m_all.add(m_rapids);
}

PathGeometry PathGeometry::retessellated(double tolerance) const
{
    PathGeometry out;
    out.m_tolerance = tolerance > 0.0 ? tolerance : m_tolerance;
    out.m_arcs = m_arcs;
    out.m_markers = m_markers;
    out.m_moves = m_moves;
    out.m_decimated = m_decimated;
    if (m_segments.empty())
        return out;
    out.m_xyz.reserve(m_xyz.size());
    out.m_segments.reserve(m_segments.size());
    out.m_xyz.insert(out.m_xyz.end(), m_xyz.begin(), m_xyz.begin() + 3);
    for (qsizetype i = 0; i < segmentCount();) {
        const Segment &segment = m_segments[i];
        qsizetype next = i + 1;
        while (next < segmentCount() && m_segments[next].move == segment.move)
            ++next;
        const auto record = std::lower_bound(m_arcs.begin(), m_arcs.end(), segment.move,
                                             [](const ArcRecord &r, qint64 move) { return r.move < move; });
        if (segment.kind == SegmentKind::Arc && record != m_arcs.end() && record->move == segment.move && !m_decimated) {
            const QVector3D from = vertex(i);
            const QVector3D to = vertex(next);
            const double start[3] = {from.x(), from.y(), from.z()};
            const double end[3] = {to.x(), to.y(), to.z()};
            for (const QVector3D &p : tessellateSweep(start, end, record->centre, record->plane, record->sweep,
                                                      out.m_tolerance)) {
                push(out.m_xyz, p);
                out.m_segments.push_back(segment);
            }
        } else {
            out.m_xyz.insert(out.m_xyz.end(), m_xyz.begin() + 3 * (i + 1), m_xyz.begin() + 3 * (next + 1));
            out.m_segments.insert(out.m_segments.end(), m_segments.begin() + i, m_segments.begin() + next);
        }
        i = next;
    }
    out.addExtents(0);
    return out;
}

PathGeometry PathGeometry::decimated(double tolerance, const std::atomic<bool> *cancel) const
{
    PathGeometry out;
    out.m_tolerance = m_tolerance;
    out.m_markers = m_markers;
    out.m_moves = m_moves;
    out.m_all = m_all;
    out.m_feeds = m_feeds;
    out.m_rapids = m_rapids;
    out.m_decimated = true;
    if (m_segments.empty())
        return out;
    constexpr qsizetype kLongestRun = 256; // bounds the check of a run's vertices
    const float limit = float(tolerance);
    const auto shortCut = [&](qsizetype i, const Segment &like) {
        const Segment &s = m_segments[i];
        return cutting(s.kind) && s.kind != SegmentKind::Probe && s.tool == like.tool &&
               (vertex(i + 1) - vertex(i)).length() < limit;
    };
    out.m_xyz.insert(out.m_xyz.end(), m_xyz.begin(), m_xyz.begin() + 3);
    for (qsizetype i = 0, checked = 0; i < segmentCount();) {
        if (cancel && i - checked >= 65536) {
            checked = i;
            if (cancel->load())
                break;
        }
        const Segment &segment = m_segments[i];
        qsizetype end = i + 1; // the run is segments i ... end - 1
        if (shortCut(i, segment)) {
            const QVector3D anchor = vertex(i);
            while (end < segmentCount() && end - i < kLongestRun && shortCut(end, segment)) {
                const QVector3D to = vertex(end + 1);
                bool within = true;
                for (qsizetype k = i + 1; k <= end && within; ++k)
                    within = distanceToSegment(vertex(k), anchor, to) <= limit;
                if (!within)
                    break;
                ++end;
            }
        }
        // Grown by an eighth at a time: a path of long moves keeps nearly all of its millions.
        makeRoom(out.m_xyz, 3, 0);
        makeRoom(out.m_segments, 1, 0);
        push(out.m_xyz, vertex(end));
        out.m_segments.push_back(segment);
        i = end;
    }
    return out;
}

SegmentRange PathGeometry::segmentsOfMove(qint64 move) const
{
    const auto byMove = [](const Segment &s, qint64 m) { return s.move < m; };
    const auto first = std::lower_bound(m_segments.begin(), m_segments.end(), move, byMove);
    auto last = first;
    while (last != m_segments.end() && last->move == move)
        ++last;
    return SegmentRange{qsizetype(first - m_segments.begin()), qsizetype(last - first)};
}

std::vector<SegmentRange> PathGeometry::segmentsOfMoves(const QList<qint64> &moves) const
{
    std::vector<SegmentRange> ranges;
    for (const qint64 move : moves) {
        const SegmentRange range = segmentsOfMove(move);
        if (range.count > 0)
            ranges.push_back(range);
    }
    std::sort(ranges.begin(), ranges.end(), [](const SegmentRange &x, const SegmentRange &y) { return x.first < y.first; });
    std::vector<SegmentRange> joined;
    for (const SegmentRange &range : ranges) {
        if (!joined.empty() && joined.back().first + joined.back().count >= range.first)
            joined.back().count = std::max(joined.back().count, range.first + range.count - joined.back().first);
        else
            joined.push_back(range);
    }
    return joined;
}

std::vector<SegmentRange> PathGeometry::segmentsOfLines(qint64 first, qint64 last) const
{
    std::vector<SegmentRange> ranges;
    for (qsizetype i = 0; i < segmentCount(); ++i) {
        const qint64 line = m_segments[i].line;
        if (line < first || line > last)
            continue;
        if (!ranges.empty() && ranges.back().first + ranges.back().count == i)
            ++ranges.back().count;
        else
            ranges.push_back(SegmentRange{i, 1});
    }
    return ranges;
}

bool buildFromToolpath(const interp::Toolpath &toolpath, double tolerance, const std::atomic<bool> *cancel,
                       const std::function<void(PathPiece &&piece, qint64 done, qint64 total)> &handOver, qint64 block)
{
    PathBuilder builder(tolerance);
    const qint64 total = toolpath.moveCount();
    block = std::max<qint64>(1, block);
    for (qint64 first = 0; first < total; first += block) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        const QList<interp::Move> moves = toolpath.moves(first, std::min(block, total - first));
        if (moves.isEmpty())
            break;
        handOver(builder.add(moves, first), first + moves.size(), total);
    }
    return !(cancel && cancel->load(std::memory_order_relaxed));
}

} // namespace plot
