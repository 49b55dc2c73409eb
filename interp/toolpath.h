#pragma once

#include "motion.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The toolpath file: what a run of the interpreter over the whole program found, kept beside the
// line store so the moves of millions of lines never have to stay in memory.
//
// The file is a 64-byte header, then chunks, then the table of chunks. A chunk covers the run from
// one checkpoint (a point at the program's top level, every kCheckpointEvery lines or so) to the
// next and holds, one after the other: the checkpoint (the interpreter's whole state there,
// compressed), its moves as fixed records of kMoveBytes, the records of what changes rarely (the
// rotary and UVW axes, the offsets and the tool) from the move where each changes on, and its
// findings (compressed). The table says for every chunk where its parts are, and which lines it
// read: a change of the program only makes the chunks that read the changed lines stale. A run
// after a change appends the chunks it wrote afresh and a new table, and then the header is
// written over to point at that table, so the file always holds one whole run, the old or the new.
namespace interp {

constexpr int kMoveBytes = 30;
constexpr int kStateBytes = 32;
constexpr int kHeaderBytes = 64;
constexpr int kCheckpointEvery = 500;

// A change of the program: lines first ... first + removed - 1 gave way to `inserted` lines.
struct PathEdit
{
    qint64 first = 1;
    qint64 removed = 0;
    qint64 inserted = 0;
};

// Lines lo ... hi as a chunk recorded them; they are lines lo + shift ... hi + shift now.
struct LineRef
{
    qint64 lo = 0;
    qint64 hi = 0;
    qint64 shift = 0;
    bool operator==(const LineRef &) const = default;
};

struct PathChunk
{
    qint64 start = 1;       // the next line to read where the chunk begins, as recorded
    qint64 checkpointAt = 0;
    quint32 checkpointBytes = 0;
    qint64 movesAt = 0;
    quint32 moveCount = 0;
    qint64 statesAt = 0;
    quint32 stateCount = 0;
    qint64 findingsAt = 0;
    quint32 findingBytes = 0;
    quint32 findingCount = 0;
    // The lines the chunk read (the line it ends before included) and the lines its checkpoint
    // names (where it reads next, where each subroutine it knows begins), merged, in order.
    QList<LineRef> refs;

    // A recorded line as it is numbered now; nullopt for a line the chunk never named.
    std::optional<qint64> now(qint64 recorded) const;
    qint64 startNow() const { return now(start).value_or(start); }
    // Whether the chunk read or names a line the change touches (for an insertion: whether it read
    // across the place where the lines went in).
    bool touchedBy(const PathEdit &edit) const;
    // Moves the chunk's lines after the change along; those it touches are no longer named.
    void follow(const PathEdit &edit);
    bool operator==(const PathChunk &) const = default;
};

// The file's header as numbers.
struct PathHeader
{
    qint64 tableAt = 0;
    qint64 tableBytes = 0;
    quint64 tableHash = 0;
    qint64 lineCount = 0; // of the program it describes
    qint64 moveCount = 0;
    bool complete = false;

    QByteArray encode() const;
    bool decode(const QByteArray &bytes, QString &error);
    bool operator==(const PathHeader &) const = default;
};

QByteArray encodeTable(const std::vector<PathChunk> &chunks);
bool decodeTable(const QByteArray &bytes, std::vector<PathChunk> &chunks);
quint64 pathHash(const QByteArray &bytes);

// A checkpoint's bytes: the state, compressed.
QByteArray encodeCheckpoint(const RunState &state);
bool decodeCheckpoint(const QByteArray &bytes, RunState &state);
// The state a chunk's checkpoint recorded, its line numbers as they are now. false when it names
// a line that no longer is (a line a change took away).
bool stateNow(const PathChunk &chunk, RunState &state);

// One move record and one state record, as the file holds them.
void packMove(const Move &move, char *out);
void packAxes(quint32 fromMove, const Move &move, char *out);
void packFrame(quint32 fromMove, const Move &move, char *out);

// A toolpath file, open for reading: the view's moves by index and by line, the program check's
// findings, and the state before any line for a start from there. Reading never changes the file;
// the run writes a new one or appends to it and is reopened afterwards. Failures to read are
// thrown as tessarc::ControlError.
class Toolpath
{
public:
    Toolpath() = default;
    ~Toolpath();
    Toolpath(const Toolpath &) = delete;
    Toolpath &operator=(const Toolpath &) = delete;

    // The toolpath file of a program's store.
    static QString fileFor(const QString &store) { return store + QStringLiteral(".path"); }

    // Opens `file`; false with the reason when it is missing, damaged or not a toolpath file.
    bool open(const QString &file, QString &error);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const QString &file() const { return m_file; }

    // Whether the run it holds followed the program to its end.
    bool isComplete() const { return m_header.complete; }
    qint64 lineCount() const { return m_header.lineCount; }
    qint64 moveCount() const { return m_header.moveCount; }
    qint64 findingCount() const { return m_findingCount; }
    const std::vector<PathChunk> &chunks() const { return m_chunks; }
    const PathHeader &header() const { return m_header; }

    // Moves first ... first + count - 1 (from 0), fewer at the end. Positions are kept as floats:
    // to about a ten-thousandth of a millimetre at a metre from the origin.
    QList<Move> moves(qint64 first, qint64 count) const;
    // The indices of the moves made by lines firstLine ... lastLine, in the order they were made.
    QList<qint64> movesOfLines(qint64 firstLine, qint64 lastLine) const;
    // Every finding, in the order the run came upon them.
    QList<Finding> findings() const { return findings(0, m_chunks.size()); }
    // The findings of chunks first ... first + count - 1, in order.
    QList<Finding> findings(std::size_t first, std::size_t count) const;
    // The index of each chunk's first move.
    const std::vector<qint64> &firstMoves() const { return m_firstMove; }
    // The state the run is in as it comes to read line `line` of the program: the checkpoint before
    // it, put back, and followed to it. nullopt with the reason when the run never comes there after
    // that checkpoint (a line past the program's end, a subroutine's line not called again).
    std::optional<RunState> stateBefore(qint64 line, LineSource &program, const Setup &setup, QString &error) const;

private:
    QByteArray readAt(qint64 offset, qint64 bytes) const;
    void movesOfChunk(std::size_t chunk, qint64 from, qint64 count, QList<Move> &out) const;

    QString m_file;
    int m_fd = -1;
    PathHeader m_header;
    std::vector<PathChunk> m_chunks;
    std::vector<qint64> m_firstMove; // of each chunk
    qint64 m_findingCount = 0;
};

} // namespace interp
