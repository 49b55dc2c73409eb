#pragma once

#include "box.h"

#include "motion.h"

#include <QList>
#include <QString>
#include <QVector3D>

#include <atomic>
#include <functional>
#include <vector>

namespace interp {
class Toolpath;
}

// The toolpath as lines to draw: every move that goes somewhere becomes segments of one line strip
// that runs through the whole path, arcs tessellated to a chord tolerance. A position is drawn where
// the tool's tip is in the machine's frame without its length: the move's end in program
// coordinates plus the work and G92 offsets, so the parts of a program cut in two frames lie where
// they are cut. Rotary axes are not drawn.
namespace plot {

enum class SegmentKind : quint8 { Rapid, Feed, Arc, Probe };

// What a segment is part of. Segment i runs from vertex i to vertex i + 1. Twelve bytes, for
// paths of millions: a move's number takes 32 bits (a path of more moves would not fit in memory
// anyway) and a line number 30 (programs of up to a billion lines).
struct Segment
{
    static constexpr qint64 kLastLine = (qint64(1) << 30) - 1;

    quint32 move = 0;      // the move's index in the run, from 0
    quint32 line : 30 = 0; // the program line that made it
    SegmentKind kind : 2 = SegmentKind::Feed;
    qint32 tool = 0;
};
static_assert(sizeof(Segment) == 12);

struct SegmentRange
{
    qsizetype first = 0;
    qsizetype count = 0;
    bool operator==(const SegmentRange &) const = default;
};

// Where the tool stood when a line it could not follow came (that line moved nothing). What the
// finding says stays in the toolpath file: a program of millions of lines may have as many.
struct Marker
{
    QVector3D at;
    qint64 line = 0;
};

// What an arc needs besides its ends (the vertices before and after its segments) to be drawn
// again finer. The centre is a drawn position (mm); its coordinate along the plane's normal is the
// start's.
struct ArcRecord
{
    qint64 move = 0;
    double centre[3] = {};
    double sweep = 0.0; // radians, counter-clockwise positive, as first drawn
    qint32 plane = 17;
    qint32 turn = 1;
};

// The segments some consecutive moves make: its own first vertex (where the first move starts)
// and then one vertex a segment, so it can be drawn alone, as one GL buffer, or appended.
struct PathPiece
{
    std::vector<float> xyz; // (segments.size() + 1) * 3 floats, or none
    std::vector<Segment> segments;
    std::vector<ArcRecord> arcs;
    std::vector<Marker> markers;
    qint64 firstMove = 0;
    qint64 moveCount = 0; // moves it took, those with nothing to draw (dwells) included
};

// The points of an arc from `start` (drawn, mm) after the start, to its end (exactly the end point),
// every chord within `tolerance` mm of the arc. Centre's normal coordinate is the start's; `turn`
// as the interpreter gives it (the sign the direction, the size the turns, full circles for an end
// on the start).
std::vector<QVector3D> tessellateArc(const double start[3], const double end[3], const double centre[3], int plane,
                                     int turn, double tolerance);
// The same points for an arc whose angle is known.
std::vector<QVector3D> tessellateSweep(const double start[3], const double end[3], const double centre[3], int plane,
                                       double sweep, double tolerance);
// How many chords an arc of `radius` (mm) swept through `radians` needs to keep within `tolerance`.
int chordsFor(double radius, double radians, double tolerance);

// Makes the pieces of a run's moves in order, block by block, each piece continuing where the
// one before ended; for a builder on a thread of its own, handing the pieces to the window's.
class PathBuilder
{
public:
    // Arcs' chords within `tolerance` mm of the arc.
    explicit PathBuilder(double tolerance = 0.01);

    double tolerance() const { return m_tolerance; }
    // Where the tool stands before the first move (mm; the machine's origin unless told).
    void setStart(const QVector3D &start);
    // The tool stands where `move` (one that goes somewhere, not a dwell) left it.
    void startAfter(const interp::Move &move);
    QVector3D position() const;

    // The piece that moves first ... first + moves.size() - 1 make. A finding is marked where the
    // tool stands after these moves: hand over the moves and findings of one step at a time for
    // markers on the spot.
    PathPiece add(const QList<interp::Move> &moves, qint64 first, const QList<interp::Finding> &findings = {});
    // Adds the next moves (and findings) to `piece`, numbered on from its last move.
    void extend(PathPiece &piece, const QList<interp::Move> &moves, const QList<interp::Finding> &findings = {})
    {
        extend(piece, moves.constData(), moves.size(), findings);
    }
    void extend(PathPiece &piece, const interp::Move *moves, qsizetype count, const QList<interp::Finding> &findings = {});

private:
    double m_tolerance;
    double m_at[3] = {};
};

// A whole path to draw, made of the pieces in order.
class PathGeometry
{
public:
    PathGeometry() = default;

    // Keeps room for a path of this many segments, to be appended piece by piece.
    void reserve(qsizetype segments);
    // Appends the next piece: its first vertex is taken as where the path stands.
    void append(PathPiece piece);
    void clear();
    // Puts `piece` in the place of what moves piece.firstMove ... piece.firstMove + removedMoves - 1
    // made, and its markers in the place of markers firstMarker ... firstMarker + removedMarkers - 1:
    // the moves after it are numbered on from the piece's last, every line kept is renumbered by
    // `lineNow` (none: as it is). The piece is to start where the moves before it leave the tool
    // and to end where those after it begin. Returns the vertices that changed: from the first that
    // did, to the end of the path when the moves after it moved along in the vertices.
    SegmentRange replaceMoves(qint64 removedMoves, PathPiece piece, qsizetype firstMarker, qsizetype removedMarkers,
                              const std::function<qint64(qint64)> &lineNow = {});

    // x, y and z of each vertex; vertexCount() == segmentCount() + 1 (none when empty). Drawn as one
    // GL_LINE_STRIP, segment i's flat attributes belong to vertex i + 1 (the last vertex provokes).
    const std::vector<float> &vertices() const { return m_xyz; }
    const std::vector<Segment> &segments() const { return m_segments; }
    qsizetype segmentCount() const { return qsizetype(m_segments.size()); }
    qsizetype vertexCount() const { return qsizetype(m_xyz.size() / 3); }
    QVector3D vertex(qsizetype i) const { return QVector3D(m_xyz[3 * i], m_xyz[3 * i + 1], m_xyz[3 * i + 2]); }
    const std::vector<Marker> &markers() const { return m_markers; }
    const std::vector<ArcRecord> &arcs() const { return m_arcs; }
    // Moves taken so far, with those that draw nothing.
    qint64 moveCount() const { return m_moves; }

    // The extents of everything drawn, of the cutting moves (feeds, arcs, probes) and of the rapids.
    const Box &extents() const { return m_all; }
    const Box &feedExtents() const { return m_feeds; }
    const Box &rapidExtents() const { return m_rapids; }

    // The chord tolerance its arcs were drawn to (mm).
    double tolerance() const { return m_tolerance; }
    // The same path with its arcs drawn again to `tolerance`; everything else as it is.
    PathGeometry retessellated(double tolerance) const;
    // A lighter path for a frame that cannot draw every segment: runs of consecutive cutting
    // segments of one tool, each shorter than `tolerance` (mm; a pixel's size, say), become one
    // where every vertex left out lies within `tolerance` of it. A merged segment keeps the first
    // one's move and line; never pick or measure with it.
    // Stops early (what it made is to be dropped) once `cancel` is set.
    PathGeometry decimated(double tolerance, const std::atomic<bool> *cancel = nullptr) const;
    bool isDecimated() const { return m_decimated; }

    // The segments that moves (indices, in any order) make, as ranges in order, adjacent ones joined.
    std::vector<SegmentRange> segmentsOfMoves(const QList<qint64> &moves) const;
    // The segments lines first ... last make.
    std::vector<SegmentRange> segmentsOfLines(qint64 first, qint64 last) const;
    // The segments of one move.
    SegmentRange segmentsOfMove(qint64 move) const;

private:
    void addExtents(qsizetype firstSegment);

    std::vector<float> m_xyz;
    std::vector<Segment> m_segments;
    std::vector<ArcRecord> m_arcs;
    std::vector<Marker> m_markers;
    qint64 m_moves = 0;
    Box m_all;
    Box m_feeds;
    Box m_rapids;
    double m_tolerance = 0.01;
    bool m_decimated = false;
    std::size_t m_reserved = 0;
};

// Builds the geometry of a toolpath file's moves, `block` moves at a time, handing over each piece
// with how many moves are done of how many; stops between blocks when `cancel` is set. false when
// cancelled. Reading failures are thrown as tessarc::ControlError. Markers are not made: the file
// keeps no place with its findings.
bool buildFromToolpath(const interp::Toolpath &toolpath, double tolerance, const std::atomic<bool> *cancel,
                       const std::function<void(PathPiece &&piece, qint64 done, qint64 total)> &handOver,
                       qint64 block = 50000);

} // namespace plot
