#include "toolpath.h"

#include "controlerror.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the toolpath file is written in the machine's own byte order");

namespace interp {

namespace {

constexpr char kMagic[8] = {'V', 'X', 'P', 'A', 'T', 'H', '\r', '\n'};
constexpr quint32 kVersion = 1;
constexpr quint8 kAxesRecord = 1;
constexpr quint8 kFrameRecord = 2;

template <typename T>
void put(QByteArray &out, T value)
{
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

template <typename T>
void put(char *&out, T value)
{
    std::memcpy(out, &value, sizeof value);
    out += sizeof value;
}

template <typename T>
T get(const char *&in)
{
    T value;
    std::memcpy(&value, in, sizeof value);
    in += sizeof value;
    return value;
}

// Reads what `put` wrote, refusing to run past the end.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes) : m_at(bytes.constData()), m_end(bytes.constData() + bytes.size()) {}
    template <typename T>
    bool read(T &value)
    {
        if (m_end - m_at < static_cast<qptrdiff>(sizeof value))
            return false;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return true;
    }
    bool atEnd() const { return m_at == m_end; }

private:
    const char *m_at;
    const char *m_end;
};

int planeCode(int plane)
{
    return plane == 18 ? 1 : plane == 19 ? 2 : 0;
}

float f(double v)
{
    return static_cast<float>(v);
}

// What the state records say is in force from a move on.
struct InForce
{
    float axes[6] = {};
    float offset[3] = {};
    float toolLength = 0;
    qint32 tool = 0;
};

// The state records of a chunk, in order.
struct StateRecords
{
    std::vector<std::pair<quint32, std::array<float, 6>>> axes;
    std::vector<std::pair<quint32, InForce>> frames;

    InForce at(quint32 move) const
    {
        InForce in;
        for (const auto &[from, values] : axes) {
            if (from > move)
                break;
            std::copy(values.begin(), values.end(), in.axes);
        }
        for (const auto &[from, frame] : frames) {
            if (from > move)
                break;
            std::copy(frame.offset, frame.offset + 3, in.offset);
            in.toolLength = frame.toolLength;
            in.tool = frame.tool;
        }
        return in;
    }
};

// Everything of a move record but the arc centre's coordinate along the plane's normal.
Move unpackMove(const char *record, const InForce &in)
{
    Move move;
    const char *p = record;
    move.line = get<quint32>(p);
    const quint8 kindPlane = get<quint8>(p);
    move.kind = static_cast<MoveKind>(kindPlane & 0x0f);
    move.plane = 17 + ((kindPlane >> 4) & 0x03);
    move.turn = get<qint8>(p);
    move.end[0] = get<float>(p);
    move.end[1] = get<float>(p);
    move.end[2] = get<float>(p);
    const float c1 = get<float>(p);
    const float c2 = get<float>(p);
    move.feed = get<float>(p);
    for (int i = 0; i < 6; ++i)
        move.end[static_cast<std::size_t>(3 + i)] = in.axes[i];
    for (int i = 0; i < 3; ++i)
        move.offset[static_cast<std::size_t>(i)] = in.offset[i];
    move.toolLength = in.toolLength;
    move.tool = in.tool;
    if (move.kind == MoveKind::Dwell) {
        move.seconds = c1;
    } else if (move.kind == MoveKind::Arc) {
        const PlaneAxes a = planeAxes(move.plane);
        move.centre[static_cast<std::size_t>(a.first)] = c1;
        move.centre[static_cast<std::size_t>(a.second)] = c2;
    }
    return move;
}

// Where a move that follows `previous` starts, in the program coordinates of `move`.
double startAlong(int axis, const Move *previous, const Move &move)
{
    const auto i = static_cast<std::size_t>(axis);
    double machine = 0.0;
    if (previous)
        machine = previous->end[i] + previous->offset[i] + (axis == 2 ? previous->toolLength : 0.0);
    return machine - move.offset[i] - (axis == 2 ? move.toolLength : 0.0);
}

} // namespace

namespace {

// The shift of lines a change took away, or put others among.
constexpr qint64 kGone = std::numeric_limits<qint64>::min();

bool touches(const LineRef &r, const PathEdit &edit)
{
    if (r.shift == kGone)
        return true;
    const qint64 lo = r.lo + r.shift;
    const qint64 hi = r.hi + r.shift;
    return edit.removed > 0 ? (lo <= edit.first + edit.removed - 1 && hi >= edit.first)
                            : (lo <= edit.first - 1 && hi >= edit.first);
}

} // namespace

std::optional<qint64> PathChunk::now(qint64 recorded) const
{
    for (const LineRef &r : refs) {
        if (recorded >= r.lo && recorded <= r.hi)
            return r.shift == kGone ? std::nullopt : std::optional<qint64>(recorded + r.shift);
    }
    return std::nullopt;
}

bool PathChunk::touchedBy(const PathEdit &edit) const
{
    return std::any_of(refs.begin(), refs.end(), [&edit](const LineRef &r) { return touches(r, edit); });
}

void PathChunk::follow(const PathEdit &edit)
{
    // Each run of lines is cut where the change stands: the lines before keep their numbers, those
    // taken away are gone, those after move along.
    const qint64 after = edit.first + edit.removed; // the first line after the change, as numbered before
    QList<LineRef> out;
    out.reserve(refs.size() + 2);
    for (const LineRef &r : std::as_const(refs)) {
        if (r.shift == kGone) {
            out.append(r);
            continue;
        }
        const qint64 lo = r.lo + r.shift;
        const qint64 hi = r.hi + r.shift;
        if (lo < edit.first)
            out.append({r.lo, std::min(hi, edit.first - 1) - r.shift, r.shift});
        if (edit.removed > 0 && hi >= edit.first && lo < after)
            out.append({std::max(lo, edit.first) - r.shift, std::min(hi, after - 1) - r.shift, kGone});
        if (hi >= after)
            out.append({std::max(lo, after) - r.shift, r.hi, r.shift + edit.inserted - edit.removed});
    }
    refs = out;
}

QByteArray PathHeader::encode() const
{
    QByteArray out;
    out.reserve(kHeaderBytes);
    out.append(kMagic, sizeof kMagic);
    put<quint32>(out, kVersion);
    put<quint32>(out, kMoveBytes);
    put<qint64>(out, tableAt);
    put<qint64>(out, tableBytes);
    put<quint64>(out, tableHash);
    put<qint64>(out, lineCount);
    put<qint64>(out, moveCount);
    put<quint32>(out, complete ? 1 : 0);
    put<quint32>(out, 0);
    Q_ASSERT(out.size() == kHeaderBytes);
    return out;
}

bool PathHeader::decode(const QByteArray &bytes, QString &error)
{
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0) {
        error = QStringLiteral("it is not a toolpath file");
        return false;
    }
    const char *p = bytes.constData() + sizeof kMagic;
    const quint32 version = get<quint32>(p);
    const quint32 moveBytes = get<quint32>(p);
    if (version != kVersion || moveBytes != kMoveBytes) {
        error = QStringLiteral("it was written by another version (%1)").arg(version);
        return false;
    }
    tableAt = get<qint64>(p);
    tableBytes = get<qint64>(p);
    tableHash = get<quint64>(p);
    lineCount = get<qint64>(p);
    moveCount = get<qint64>(p);
    complete = get<quint32>(p) & 1;
    return true;
}

quint64 pathHash(const QByteArray &bytes)
{
    // FNV-1a: enough to tell a table written whole from one cut short.
    quint64 h = 0xcbf29ce484222325ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ull;
    }
    return h;
}

QByteArray encodeTable(const std::vector<PathChunk> &chunks)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(chunks.size()) * 120);
    put<quint32>(out, static_cast<quint32>(chunks.size()));
    for (const PathChunk &c : chunks) {
        put<qint64>(out, c.start);
        put<qint64>(out, c.checkpointAt);
        put<quint32>(out, c.checkpointBytes);
        put<qint64>(out, c.movesAt);
        put<quint32>(out, c.moveCount);
        put<qint64>(out, c.statesAt);
        put<quint32>(out, c.stateCount);
        put<qint64>(out, c.findingsAt);
        put<quint32>(out, c.findingBytes);
        put<quint32>(out, c.findingCount);
        put<quint32>(out, static_cast<quint32>(c.refs.size()));
        for (const LineRef &r : c.refs) {
            put<qint64>(out, r.lo);
            put<qint64>(out, r.hi);
            put<qint64>(out, r.shift);
        }
    }
    return out;
}

bool decodeTable(const QByteArray &bytes, std::vector<PathChunk> &chunks)
{
    Reader in(bytes);
    quint32 count = 0;
    if (!in.read(count) || count > bytes.size() / 40)
        return false;
    chunks.assign(count, PathChunk{});
    for (PathChunk &c : chunks) {
        quint32 refs = 0;
        if (!(in.read(c.start) && in.read(c.checkpointAt) && in.read(c.checkpointBytes) && in.read(c.movesAt) &&
              in.read(c.moveCount) && in.read(c.statesAt) && in.read(c.stateCount) && in.read(c.findingsAt) &&
              in.read(c.findingBytes) && in.read(c.findingCount) && in.read(refs)) ||
            refs > bytes.size() / 24)
            return false;
        c.refs.resize(refs);
        for (LineRef &r : c.refs) {
            if (!(in.read(r.lo) && in.read(r.hi) && in.read(r.shift)))
                return false;
        }
    }
    return in.atEnd();
}

QByteArray encodeCheckpoint(const RunState &state)
{
    return qCompress(state.encode(), 1);
}

bool decodeCheckpoint(const QByteArray &bytes, RunState &state)
{
    const QByteArray plain = qUncompress(bytes);
    return !plain.isEmpty() && state.decode(plain);
}

bool stateNow(const PathChunk &chunk, RunState &state)
{
    const std::optional<qint64> line = chunk.now(state.line);
    if (!line)
        return false;
    state.line = *line;
    for (auto it = state.subroutines.begin(); it != state.subroutines.end(); ++it) {
        const std::optional<qint64> at = chunk.now(it.value());
        if (!at)
            return false;
        it.value() = *at;
    }
    return true;
}

void packMove(const Move &move, char *out)
{
    char *p = out;
    put<quint32>(p, static_cast<quint32>(move.line));
    put<quint8>(p, static_cast<quint8>(static_cast<quint8>(move.kind) | (planeCode(move.plane) << 4)));
    put<qint8>(p, static_cast<qint8>(std::clamp(move.turn, -127, 127)));
    put<float>(p, f(move.end[0]));
    put<float>(p, f(move.end[1]));
    put<float>(p, f(move.end[2]));
    float c1 = 0;
    float c2 = 0;
    if (move.kind == MoveKind::Dwell) {
        c1 = f(move.seconds);
    } else if (move.kind == MoveKind::Arc) {
        const PlaneAxes a = planeAxes(move.plane);
        c1 = f(move.centre[static_cast<std::size_t>(a.first)]);
        c2 = f(move.centre[static_cast<std::size_t>(a.second)]);
    }
    put<float>(p, c1);
    put<float>(p, c2);
    put<float>(p, f(move.feed));
    Q_ASSERT(p - out == kMoveBytes);
}

void packAxes(quint32 fromMove, const Move &move, char *out)
{
    std::memset(out, 0, kStateBytes);
    char *p = out;
    put<quint32>(p, fromMove);
    put<quint8>(p, kAxesRecord);
    p += 3;
    for (int i = 3; i < kAxes; ++i)
        put<float>(p, f(move.end[static_cast<std::size_t>(i)]));
}

void packFrame(quint32 fromMove, const Move &move, char *out)
{
    std::memset(out, 0, kStateBytes);
    char *p = out;
    put<quint32>(p, fromMove);
    put<quint8>(p, kFrameRecord);
    p += 3;
    for (int i = 0; i < 3; ++i)
        put<float>(p, f(move.offset[static_cast<std::size_t>(i)]));
    put<float>(p, f(move.toolLength));
    put<qint32>(p, move.tool);
}

Toolpath::~Toolpath()
{
    close();
}

void Toolpath::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_file.clear();
    m_header = {};
    m_chunks.clear();
    m_firstMove.clear();
    m_findingCount = 0;
}

bool Toolpath::open(const QString &file, QString &error)
{
    close();
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_fd = fd;
    m_file = file;
    auto fail = [this, &error](const QString &why) {
        close();
        error = why;
        return false;
    };
    try {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        PathHeader header;
        if (st.st_size < kHeaderBytes)
            return fail(QStringLiteral("it is not a toolpath file (it holds %1 bytes)").arg(st.st_size));
        if (!header.decode(readAt(0, kHeaderBytes), error))
            return fail(error);
        if (header.tableAt < kHeaderBytes || header.tableBytes < 4 || header.tableAt + header.tableBytes > st.st_size)
            return fail(QStringLiteral("its table lies outside the file"));
        const QByteArray table = readAt(header.tableAt, header.tableBytes);
        if (pathHash(table) != header.tableHash || !decodeTable(table, m_chunks))
            return fail(QStringLiteral("its table is damaged"));
        m_header = header;
    } catch (const tessarc::ControlError &e) {
        return fail(e.description());
    }
    qint64 moves = 0;
    m_firstMove.reserve(m_chunks.size());
    for (const PathChunk &c : m_chunks) {
        m_firstMove.push_back(moves);
        moves += c.moveCount;
        m_findingCount += c.findingCount;
    }
    if (moves != m_header.moveCount)
        return fail(QStringLiteral("its table counts %1 moves, its header %2").arg(moves).arg(m_header.moveCount));
    return true;
}

QByteArray Toolpath::readAt(qint64 offset, qint64 bytes) const
{
    QByteArray out(bytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes) {
        const ssize_t n = ::pread(m_fd, out.data() + got, static_cast<std::size_t>(bytes - got), static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw tessarc::ControlError::fromErrno(errno, m_file);
        if (n == 0)
            throw tessarc::ControlError(tessarc::ControlError::DeviceIoError,
                                        QStringLiteral("The toolpath file %1 ends before its data").arg(m_file));
        got += n;
    }
    return out;
}

void Toolpath::movesOfChunk(std::size_t index, qint64 from, qint64 count, QList<Move> &out) const
{
    const PathChunk &c = m_chunks[index];
    StateRecords states;
    const QByteArray stateBytes = readAt(c.statesAt, qint64(c.stateCount) * kStateBytes);
    for (quint32 i = 0; i < c.stateCount; ++i) {
        const char *p = stateBytes.constData() + qint64(i) * kStateBytes;
        const quint32 fromMove = get<quint32>(p);
        const quint8 type = get<quint8>(p);
        p += 3;
        if (type == kAxesRecord) {
            std::array<float, 6> axes;
            for (float &a : axes)
                a = get<float>(p);
            states.axes.emplace_back(fromMove, axes);
        } else {
            InForce frame;
            for (float &o : frame.offset)
                o = get<float>(p);
            frame.toolLength = get<float>(p);
            frame.tool = get<qint32>(p);
            states.frames.emplace_back(fromMove, frame);
        }
    }
    // The move before the first is read too: an arc's centre along the plane's normal is its start's.
    std::optional<Move> previous;
    if (from > 0) {
        const QByteArray record = readAt(c.movesAt + (from - 1) * kMoveBytes, kMoveBytes);
        previous = unpackMove(record.constData(), states.at(static_cast<quint32>(from - 1)));
    } else if (index > 0) {
        std::size_t before = index;
        while (before > 0 && !previous) {
            --before;
            if (m_chunks[before].moveCount > 0) {
                QList<Move> last;
                movesOfChunk(before, m_chunks[before].moveCount - 1, 1, last);
                previous = last.front();
            }
        }
    }
    const QByteArray records = readAt(c.movesAt + from * kMoveBytes, count * kMoveBytes);
    for (qint64 i = 0; i < count; ++i) {
        Move move = unpackMove(records.constData() + i * kMoveBytes, states.at(static_cast<quint32>(from + i)));
        move.line = c.now(move.line).value_or(move.line);
        if (move.kind == MoveKind::Arc) {
            const int normal = planeAxes(move.plane).normal;
            move.centre[static_cast<std::size_t>(normal)] = startAlong(normal, previous ? &*previous : nullptr, move);
        }
        previous = move;
        out.append(move);
    }
}

QList<Move> Toolpath::moves(qint64 first, qint64 count) const
{
    QList<Move> out;
    if (first < 0 || count <= 0 || first >= moveCount())
        return out;
    count = std::min(count, moveCount() - first);
    out.reserve(count);
    auto it = std::upper_bound(m_firstMove.begin(), m_firstMove.end(), first);
    std::size_t chunk = static_cast<std::size_t>(it - m_firstMove.begin()) - 1;
    while (count > 0 && chunk < m_chunks.size()) {
        const qint64 from = first - m_firstMove[chunk];
        const qint64 n = std::min<qint64>(count, m_chunks[chunk].moveCount - from);
        if (n > 0)
            movesOfChunk(chunk, from, n, out);
        first += n;
        count -= n;
        ++chunk;
    }
    return out;
}

QList<qint64> Toolpath::movesOfLines(qint64 firstLine, qint64 lastLine) const
{
    QList<qint64> out;
    for (std::size_t i = 0; i < m_chunks.size(); ++i) {
        const PathChunk &c = m_chunks[i];
        const bool reads = std::any_of(c.refs.begin(), c.refs.end(), [&](const LineRef &r) {
            return r.lo + r.shift <= lastLine && r.hi + r.shift >= firstLine;
        });
        if (!reads || c.moveCount == 0)
            continue;
        const QByteArray records = readAt(c.movesAt, qint64(c.moveCount) * kMoveBytes);
        for (quint32 m = 0; m < c.moveCount; ++m) {
            const char *p = records.constData() + qint64(m) * kMoveBytes;
            const qint64 recorded = get<quint32>(p);
            const qint64 line = c.now(recorded).value_or(recorded);
            if (line >= firstLine && line <= lastLine)
                out.append(m_firstMove[i] + m);
        }
    }
    return out;
}

QList<Finding> Toolpath::findings(std::size_t first, std::size_t count) const
{
    QList<Finding> out;
    const std::size_t last = std::min(m_chunks.size(), first + std::min(count, m_chunks.size()));
    for (std::size_t k = first; k < last; ++k) {
        const PathChunk &c = m_chunks[k];
        if (c.findingCount == 0)
            continue;
        const QByteArray bytes = qUncompress(readAt(c.findingsAt, c.findingBytes));
        const char *p = bytes.constData();
        const char *end = p + bytes.size();
        for (quint32 i = 0; i < c.findingCount && end - p >= 8; ++i) {
            const qint64 recorded = get<quint32>(p);
            const quint32 n = get<quint32>(p);
            if (end - p < n)
                throw tessarc::ControlError(tessarc::ControlError::DeviceIoError,
                                            QStringLiteral("The toolpath file %1 has a damaged finding").arg(m_file));
            out.append(Finding{c.now(recorded).value_or(recorded), QString::fromUtf8(p, n)});
            p += n;
        }
    }
    return out;
}

std::optional<RunState> Toolpath::stateBefore(qint64 line, LineSource &program, const Setup &setup, QString &error) const
{
    if (m_chunks.empty()) {
        error = QStringLiteral("the toolpath holds no run");
        return std::nullopt;
    }
    // The last checkpoint at or before the line whose state still stands.
    std::size_t i = m_chunks.size();
    RunState start;
    bool found = false;
    while (i > 0 && !found) {
        --i;
        const PathChunk &c = m_chunks[i];
        if (c.startNow() > line)
            continue;
        found = decodeCheckpoint(readAt(c.checkpointAt, c.checkpointBytes), start) && stateNow(c, start);
    }
    if (!found) {
        error = QStringLiteral("the toolpath has no checkpoint before line %1").arg(line);
        return std::nullopt;
    }
    Interpreter interpreter(setup);
    interpreter.restore(start);
    QList<Move> moves;
    QList<Finding> findings;
    for (;;) {
        const RunState &s = interpreter.state();
        if (s.line == line && s.file.isEmpty())
            return s;
        if (s.ended || (s.atTopLevel() && s.line > line))
            break;
        const bool more = interpreter.step(program, moves, findings);
        moves.clear();
        findings.clear();
        if (!more && !(interpreter.state().line == line && interpreter.state().file.isEmpty()))
            break;
    }
    error = line > program.lineCount() ? QStringLiteral("the program has %1 lines").arg(program.lineCount())
                                       : QStringLiteral("the run does not come to line %1 after its checkpoint at line %2")
                                             .arg(line)
                                             .arg(start.line);
    return std::nullopt;
}

} // namespace interp
