#include "pathrun.h"

#include "controlerror.h"
#include "program.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace interp {

namespace {

constexpr qint64 kBufferBytes = qint64(1) << 20;
constexpr int kStepsBetweenChecks = 256;
constexpr qint64 kProgressMs = 100;
// A program still running after this many lines followed is taken to loop without end: its
// toolpath would fill the disk.
constexpr qint64 kMostSteps = 200'000'000;

struct Cancelled
{
};

// Appends to a file through a buffer of its own.
class Appender
{
public:
    Appender(int fd, qint64 at, const QString &path) : m_fd(fd), m_at(at), m_path(path)
    {
        m_buffer.reserve(static_cast<std::size_t>(kBufferBytes));
    }
    qint64 at() const { return m_at + static_cast<qint64>(m_buffer.size()); }
    void write(const char *data, qint64 bytes)
    {
        if (static_cast<qint64>(m_buffer.size()) + bytes > kBufferBytes)
            flush();
        if (bytes > kBufferBytes) {
            writeOut(data, bytes);
            return;
        }
        m_buffer.insert(m_buffer.end(), data, data + bytes);
    }
    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    void flush()
    {
        writeOut(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        m_buffer.clear();
    }

private:
    void writeOut(const char *data, qint64 bytes)
    {
        qint64 done = 0;
        while (done < bytes) {
            const ssize_t n = ::pwrite(m_fd, data + done, static_cast<std::size_t>(bytes - done), static_cast<off_t>(m_at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw tessarc::ControlError::fromErrno(errno, m_path);
            done += n;
            m_at += n;
        }
    }

    int m_fd;
    qint64 m_at;
    QString m_path;
    std::vector<char> m_buffer;
};

// Lines in order, merged where they overlap or meet.
QList<LineRef> merged(QList<LineRef> refs)
{
    std::sort(refs.begin(), refs.end(), [](const LineRef &a, const LineRef &b) { return a.lo < b.lo; });
    QList<LineRef> out;
    for (const LineRef &r : refs) {
        if (!out.isEmpty() && r.lo <= out.last().hi + 1)
            out.last().hi = std::max(out.last().hi, r.hi);
        else
            out.append(r);
    }
    return out;
}

// The program's lines, noting which of them the interpreter reads.
class NotedLines : public LineSource
{
public:
    explicit NotedLines(LineSource &lines) : m_lines(lines), m_count(lines.lineCount()) {}
    qint64 lineCount() const override { return m_count; }
    QByteArrayView line(qint64 number) override
    {
        note(number);
        // What the last line is read for (a search for a subroutine to the end) changes with lines
        // put after it.
        if (number >= m_count)
            note(number + 1);
        return m_lines.line(number);
    }
    void note(qint64 number)
    {
        // Mostly the next line, or one read again.
        if (m_open && number >= m_run.lo - 1 && number <= m_run.hi + 1) {
            if (number > m_run.hi)
                m_run.hi = number;
            else if (number < m_run.lo)
                m_run.lo = number;
            return;
        }
        noteApart(number);
    }

private:
    [[gnu::noinline]] void noteApart(qint64 number)
    {
        if (m_open)
            m_noted.append(m_run);
        m_run = {number, number, 0};
        m_open = true;
        // A loop read over and over must not grow the list without end.
        if (m_noted.size() > 64)
            m_noted = merged(m_noted);
    }

public:
    // The lines noted since the last call, and the `extra` ones.
    QList<LineRef> take(const QList<LineRef> &extra)
    {
        QList<LineRef> all = m_noted + extra;
        if (m_open)
            all.append(m_run);
        m_noted.clear();
        m_open = false;
        return merged(all);
    }

private:
    LineSource &m_lines;
    qint64 m_count;
    QList<LineRef> m_noted;
    LineRef m_run;
    bool m_open = false;
};

// Writes the chunks of a run as the interpreter goes.
class ChunkWriter
{
public:
    ChunkWriter(Appender &out, NotedLines &lines) : m_out(out), m_lines(lines) {}

    void open(const RunState &state)
    {
        m_chunk = PathChunk{};
        m_chunk.start = state.line;
        const QByteArray checkpoint = encodeCheckpoint(state);
        m_chunk.checkpointAt = m_out.at();
        m_chunk.checkpointBytes = static_cast<quint32>(checkpoint.size());
        m_out.write(checkpoint);
        m_chunk.movesAt = m_out.at();
        m_anchors.clear();
        m_anchors.append({state.line, state.line, 0});
        for (const qint64 line : state.subroutines)
            m_anchors.append({line, line, 0});
        m_states.clear();
        m_findings.clear();
        m_haveAxes = m_haveFrame = false;
    }

    void add(const Move &move)
    {
        std::array<float, 6> axes;
        for (int i = 0; i < 6; ++i)
            axes[static_cast<std::size_t>(i)] = static_cast<float>(move.end[static_cast<std::size_t>(3 + i)]);
        const std::array<float, 4> frame{static_cast<float>(move.offset[0]), static_cast<float>(move.offset[1]),
                                         static_cast<float>(move.offset[2]), static_cast<float>(move.toolLength)};
        char record[kStateBytes];
        if (!m_haveAxes || axes != m_axes) {
            packAxes(m_chunk.moveCount, move, record);
            m_states.append(record, kStateBytes);
            m_axes = axes;
            m_haveAxes = true;
        }
        if (!m_haveFrame || frame != m_frame || move.tool != m_tool) {
            packFrame(m_chunk.moveCount, move, record);
            m_states.append(record, kStateBytes);
            m_frame = frame;
            m_tool = move.tool;
            m_haveFrame = true;
        }
        packMove(move, record);
        m_out.write(record, kMoveBytes);
        ++m_chunk.moveCount;
    }

    void add(const Finding &finding)
    {
        const QByteArray text = finding.reason.toUtf8();
        const quint32 line = static_cast<quint32>(finding.line);
        const quint32 n = static_cast<quint32>(text.size());
        m_findings.append(reinterpret_cast<const char *>(&line), 4);
        m_findings.append(reinterpret_cast<const char *>(&n), 4);
        m_findings.append(text);
        ++m_chunk.findingCount;
    }

    // Ends the chunk before `state`'s next line.
    PathChunk close(const RunState &state)
    {
        // The line it would read next counts as read: lines put in before it are the chunk's to
        // follow. A program ended before its last line reads nothing after.
        if (!state.ended || state.line > m_lines.lineCount())
            m_lines.note(state.line);
        m_chunk.statesAt = m_out.at();
        m_chunk.stateCount = static_cast<quint32>(m_states.size() / kStateBytes);
        m_out.write(m_states);
        m_chunk.findingsAt = m_out.at();
        // Findings are mostly alike: compressed, a program full of them stays small.
        const QByteArray findings = m_findings.isEmpty() ? QByteArray() : qCompress(m_findings, 1);
        m_chunk.findingBytes = static_cast<quint32>(findings.size());
        m_out.write(findings);
        m_chunk.refs = m_lines.take(m_anchors);
        return m_chunk;
    }

    const PathChunk &chunk() const { return m_chunk; }

private:
    Appender &m_out;
    NotedLines &m_lines;
    PathChunk m_chunk;
    QList<LineRef> m_anchors;
    QByteArray m_states;
    QByteArray m_findings;
    std::array<float, 6> m_axes{};
    std::array<float, 4> m_frame{};
    int m_tool = 0;
    bool m_haveAxes = false;
    bool m_haveFrame = false;
};

QString count(qint64 n)
{
    return QLocale::c().toString(n);
}

} // namespace

void PathPass::run()
{
    QElapsedTimer clock;
    clock.start();
    incremental = !chunks.empty();
    try {
        StoreLines storeLines(store, recordLength, lines);
        NotedLines noted(storeLines);
        if (incremental) {
            fd = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
            if (fd < 0 && errno != ENOENT)
                throw tessarc::ControlError::fromErrno(errno, file);
            // A file gone since its run (removed by hand) is written afresh.
            incremental = fd >= 0;
            if (!incremental)
                chunks.clear();
        }

        std::vector<PathChunk> table = std::move(chunks);
        chunks.clear();
        qint64 restart = 0;                // the first chunk followed again
        qint64 joinFrom = 0;               // the first chunk the run may join
        RunState from;                     // where it starts
        bool fresh = true;                 // from the program's start, not a checkpoint
        bool noneTouched = false;
        if (incremental) {
            std::vector<bool> touched(table.size(), false);
            for (const PathEdit &edit : edits) {
                for (std::size_t i = 0; i < table.size(); ++i) {
                    if (table[i].touchedBy(edit))
                        touched[i] = true;
                    table[i].follow(edit);
                }
            }
            const auto first = std::find(touched.begin(), touched.end(), true);
            if (first == touched.end()) {
                noneTouched = true;
            } else {
                restart = first - touched.begin();
                joinFrom = touched.rend() - std::find(touched.rbegin(), touched.rend(), true);
            }
            // The checkpoint to start from: the touched chunk's, or an earlier one whose lines all
            // still stand.
            while (!noneTouched && restart > 0) {
                const PathChunk &c = table[static_cast<std::size_t>(restart)];
                QByteArray bytes(c.checkpointBytes, Qt::Uninitialized);
                if (::pread(fd, bytes.data(), static_cast<std::size_t>(bytes.size()), c.checkpointAt) == bytes.size() &&
                    decodeCheckpoint(bytes, from) && stateNow(c, from)) {
                    fresh = false;
                    break;
                }
                --restart;
            }
            struct stat st;
            if (::fstat(fd, &st) != 0)
                throw tessarc::ControlError::fromErrno(errno, file);
            oldEnd = st.st_size;
        } else {
            written = file + QStringLiteral(".tmp");
            fd = ::open(QFile::encodeName(written).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                throw tessarc::ControlError::fromErrno(errno, written);
        }

        Appender out(fd, incremental ? oldEnd : 0, incremental ? file : written);
        if (!incremental)
            out.write(QByteArray(kHeaderBytes, '\0'));

        std::vector<PathChunk> made;
        std::optional<std::size_t> joined;
        if (noneTouched) {
            made = std::move(table);
            chunksKept = static_cast<qint64>(made.size());
        } else {
            made.assign(table.begin(), table.begin() + restart);
            std::vector<qint64> oldStart;
            oldStart.reserve(table.size());
            // Where each chunk of the run before begins now; -1 where a change took that line away.
            for (const PathChunk &c : table)
                oldStart.push_back(c.now(c.start).value_or(-1));

            Interpreter interpreter(setup);
            if (!fresh)
                interpreter.restore(from);
            ChunkWriter writer(out, noted);
            writer.open(interpreter.state());
            qint64 inChunk = 0;
            std::size_t next = static_cast<std::size_t>(restart);
            QList<Move> stepMoves;
            QList<Finding> found;
            QElapsedTimer sinceProgress;
            sinceProgress.start();
            if (progress)
                progress(0, lines);
            for (;;) {
                const RunState &state = interpreter.state();
                if (state.atTopLevel() && !state.ended && state.line != writer.chunk().start) {
                    bool atOld = false;
                    if (incremental) {
                        while (next < oldStart.size() && oldStart[next] < state.line)
                            ++next;
                        atOld = next < oldStart.size() && oldStart[next] == state.line;
                    }
                    if (atOld && next >= static_cast<std::size_t>(joinFrom)) {
                        const PathChunk &c = table[next];
                        QByteArray bytes(c.checkpointBytes, Qt::Uninitialized);
                        RunState was;
                        if (::pread(fd, bytes.data(), static_cast<std::size_t>(bytes.size()), c.checkpointAt) == bytes.size() &&
                            decodeCheckpoint(bytes, was) && stateNow(c, was) && was == state) {
                            made.push_back(writer.close(state));
                            ++chunksWritten;
                            joined = next;
                            break;
                        }
                    }
                    if (atOld || state.line - writer.chunk().start >= checkpointEvery || inChunk >= checkpointEvery) {
                        made.push_back(writer.close(state));
                        ++chunksWritten;
                        writer.open(state);
                        inChunk = 0;
                    }
                }
                const bool more = interpreter.step(noted, stepMoves, found);
                for (const Move &m : stepMoves)
                    writer.add(m);
                for (const Finding &finding : found)
                    writer.add(finding);
                stepMoves.clear();
                found.clear();
                ++linesFollowed;
                ++inChunk;
                if (linesFollowed % kStepsBetweenChecks == 0) {
                    if (cancel.load(std::memory_order_relaxed))
                        throw Cancelled{};
                    if (linesFollowed >= kMostSteps + 20 * lines)
                        throw tessarc::ControlError(
                            tessarc::ControlError::Overflow,
                            QStringLiteral("The program has not ended after %1 lines followed, the last at line %2: "
                                           "does a loop never end?")
                                .arg(count(linesFollowed))
                                .arg(interpreter.state().line));
                    if (progress && sinceProgress.elapsed() >= kProgressMs) {
                        progress(std::min(interpreter.state().line, lines), lines);
                        sinceProgress.restart();
                    }
                }
                if (!more)
                    break;
            }
            if (!joined) {
                made.push_back(writer.close(interpreter.state()));
                ++chunksWritten;
            } else {
                made.insert(made.end(), table.begin() + static_cast<std::ptrdiff_t>(*joined), table.end());
            }
            chunksKept = static_cast<qint64>(made.size()) - chunksWritten;
        }
        if (cancel.load())
            throw Cancelled{};

        const QByteArray encoded = encodeTable(made);
        result = PathHeader{};
        result.tableAt = out.at();
        result.tableBytes = encoded.size();
        result.tableHash = pathHash(encoded);
        result.lineCount = lines;
        result.complete = true;
        for (const PathChunk &c : made) {
            result.moveCount += c.moveCount;
            findings += c.findingCount;
        }
        moves = result.moveCount;
        out.write(encoded);
        out.flush();
        ok = true;
        if (progress)
            progress(lines, lines);
    } catch (const Cancelled &) {
        cancelled = true;
        message = QStringLiteral("Stopped after %1 lines").arg(count(linesFollowed));
    } catch (const tessarc::ControlError &error) {
        message = error.description();
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("There is not enough memory to follow the program");
    }
    seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

bool PathPass::commit()
{
    const QByteArray bytes = result.encode();
    const ssize_t n = ::pwrite(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), 0);
    const int err = errno;
    if (n != bytes.size()) {
        message = tessarc::ControlError::fromErrno(n < 0 ? err : ENOSPC, incremental ? file : written).description();
        discard();
        return false;
    }
    ::close(fd);
    fd = -1;
    if (!written.isEmpty() &&
        ::rename(QFile::encodeName(written).constData(), QFile::encodeName(file).constData()) != 0) {
        message = tessarc::ControlError::fromErrno(errno, file).description();
        QFile::remove(written);
        return false;
    }
    return true;
}

void PathPass::discard()
{
    if (fd < 0)
        return;
    if (written.isEmpty()) {
        // After changes: the file ends where it did, its header still points at the run before.
        if (::ftruncate(fd, oldEnd) != 0) {
            // What is left past the old end is never read.
        }
        ::close(fd);
    } else {
        ::close(fd);
        QFile::remove(written);
    }
    fd = -1;
}

PathRun::PathRun(tessarc::Program &program, Setup setup, QObject *parent)
    : QObject(parent), m_program(program), m_setup(std::move(setup)), m_lines(program.lineCount())
{
    connect(&program, &tessarc::Program::linesChanged, this, &PathRun::changed);
    connect(&program, &tessarc::Program::loaded, this, [this]() {
        m_whole = true;
        m_edits.clear();
    });
}

PathRun::~PathRun()
{
    stopWorker();
}

QString PathRun::file() const
{
    return m_program.store.isEmpty() ? QString() : Toolpath::fileFor(m_program.store);
}

void PathRun::start(bool whole)
{
    if (whole) {
        m_whole = true;
        m_edits.clear();
    }
    m_wanted = true;
    schedule();
}

void PathRun::setSetup(Setup setup)
{
    m_setup = std::move(setup);
    ++m_generation; // what a run under way makes follows the old setup
    m_current = false;
    if (m_pass)
        m_pass->cancel = true;
    if (m_program.isOpen())
        start(true);
    else
        m_whole = true;
}

void PathRun::cancel()
{
    m_wanted = false;
    if (m_pass)
        m_pass->cancel = true;
}

void PathRun::changed(qint64 first, qint64 removed, qint64 inserted)
{
    ++m_generation;
    m_current = false;
    if (first <= 1 && removed >= m_lines) {
        // The program was replaced as a whole (loaded, recovered, closed).
        m_whole = true;
        m_edits.clear();
    } else {
        m_edits.append(PathEdit{first, removed, inserted});
    }
    m_lines = m_program.lineCount();
    if (m_pass)
        m_pass->cancel = true;
    if (!m_program.isOpen()) {
        // The program closed: its toolpath file went with its stores.
        m_toolpath.close();
        m_wanted = false;
        return;
    }
    m_wanted = true;
    schedule();
}

void PathRun::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    // Changes that come together (a tool's run, a load's) are followed together.
    QTimer::singleShot(0, this, [this]() {
        m_scheduled = false;
        launch();
    });
}

void PathRun::launch()
{
    if (!m_wanted)
        return;
    if (m_pass) {
        // The run under way stops first; this one starts when it has.
        m_pass->cancel = true;
        return;
    }
    if (!m_program.isOpen() || m_program.store.isEmpty())
        return;
    m_wanted = false;
    auto pass = std::make_shared<PathPass>();
    pass->store = m_program.store;
    pass->recordLength = m_program.recordLength;
    pass->lines = m_program.lineCount();
    pass->file = Toolpath::fileFor(m_program.store);
    pass->setup = m_setup;
    pass->checkpointEvery = m_checkpointEvery;
    qint64 lines = m_toolpath.lineCount();
    for (const PathEdit &edit : m_edits)
        lines += edit.inserted - edit.removed;
    if (!m_whole && m_toolpath.isOpen() && m_toolpath.isComplete() && m_toolpath.file() == pass->file &&
        lines == pass->lines) {
        pass->chunks = m_toolpath.chunks();
        pass->edits = m_edits;
        pass->base = m_toolpath.header();
    }
    const quint64 generation = m_generation;
    pass->progress = [this, generation](qint64 done, qint64 total) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, done, total]() {
                if (m_pass && generation == m_passGeneration && generation == m_generation)
                    emit progress(done, total);
            },
            Qt::QueuedConnection);
    };
    m_pass = pass;
    m_passGeneration = generation;
    m_ended = false;
    m_worker = std::thread([this, pass, generation]() {
        pass->run();
        QMetaObject::invokeMethod(this, [this, generation]() { passEnded(generation); }, Qt::QueuedConnection);
    });
}

void PathRun::passEnded(quint64 generation)
{
    if (!m_pass || generation != m_passGeneration)
        return;
    if (m_worker.joinable())
        m_worker.join();
    m_ended = true;
    tryCommit();
}

void PathRun::tryCommit()
{
    if (!m_pass || !m_ended)
        return;
    const std::shared_ptr<PathPass> pass = m_pass;
    const bool stale = m_passGeneration != m_generation;
    if (stale || !pass->ok) {
        pass->discard();
        m_pass.reset();
        m_report = Report{false, pass->incremental, pass->linesFollowed, pass->chunksWritten, 0, 0, 0, pass->seconds,
                          stale ? QStringLiteral("Stopped: the program changed") : pass->message, {}, {}};
        if (!stale && !pass->cancelled)
            m_report.message = QStringLiteral("The toolpath could not be made: %1").arg(pass->message);
        emit finished(false, m_report.message);
        if (m_wanted)
            launch();
        return;
    }
    // A tool that rewrites the store lets events through while it works, and says what it changed
    // only at the end: nothing read meanwhile is put in force until it is done.
    if (m_program.lock.held) {
        QTimer::singleShot(50, this, &PathRun::tryCommit);
        return;
    }
    m_pass.reset();
    QString error;
    if (!pass->commit() || !m_toolpath.open(pass->file, error)) {
        if (error.isEmpty())
            error = pass->message;
        m_current = false;
        m_whole = true;
        m_report = Report{false, pass->incremental, pass->linesFollowed, pass->chunksWritten, 0, 0, 0, pass->seconds,
                          QStringLiteral("The toolpath could not be written: %1").arg(error), {}, {}};
        emit finished(false, m_report.message);
        return;
    }
    m_edits.clear();
    m_whole = false;
    m_current = true;
    QString what = pass->incremental
                       ? QStringLiteral("Followed %1 lines again (%2 checkpoints written, %3 kept)")
                             .arg(count(pass->linesFollowed), count(pass->chunksWritten), count(pass->chunksKept))
                       : QStringLiteral("Followed %1 lines").arg(count(pass->linesFollowed));
    m_report = Report{true,          pass->incremental, pass->linesFollowed, pass->chunksWritten, pass->chunksKept,
                      pass->moves,   pass->findings,    pass->seconds,
                      QStringLiteral("%1: %2 moves, %3 findings, in %4 s")
                          .arg(what, count(pass->moves), count(pass->findings), QString::number(pass->seconds, 'f', 3)),
                      {}, {}};
    if (pass->incremental) {
        m_report.base = pass->base;
        m_report.edits = pass->edits;
    }
    // Runs after changes leave the chunks they replaced behind in the file; once those outweigh
    // the rest, the next run writes the file afresh.
    qint64 live = kHeaderBytes + pass->result.tableBytes;
    for (const PathChunk &c : m_toolpath.chunks())
        live += c.checkpointBytes + qint64(c.moveCount) * kMoveBytes + qint64(c.stateCount) * kStateBytes + c.findingBytes;
    const bool compact = pass->result.tableAt + pass->result.tableBytes > 2 * live + (qint64(16) << 20);
    emit finished(true, m_report.message);
    if (compact) {
        m_whole = true;
        start();
    }
}

void PathRun::stopWorker()
{
    if (!m_pass)
        return;
    m_pass->cancel = true;
    if (m_worker.joinable())
        m_worker.join();
    m_pass->discard();
    m_pass.reset();
}

} // namespace interp
