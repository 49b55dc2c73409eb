#include "tool.h"

#include "controlerror.h"
#include "history.h"
#include "linestore.h"
#include "program.h"
#include "storeblocks.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <algorithm>
#include <exception>
#include <semaphore>
#include <thread>
#include <vector>

namespace tools {

namespace {

// The bytes of records a rewrite works on at once; on two threads, a larger block shares out
// the handing over.
constexpr qint64 kRewriteBytes = 256 * 1024;
constexpr qint64 kSplitRewriteBytes = 1024 * 1024;
// The fewest lines worth a second thread.
constexpr qint64 kSplitLines = 4096;
// The fewest lines of a block worth handing half of to the other thread.
constexpr std::size_t kSplitBlock = 64;

// The new texts of a block's lines worked out on two threads: this one takes the first half with
// the run's own work, a thread of its own the second half with a copy of it. The texts are then
// taken in order, as the store rewrites its records one by one.
class TwoThreadWork
{
public:
    explicit TwoThreadWork(const LineWork &work) : m_work(work), m_copy(work), m_thread([this] { serve(); }) {}
    ~TwoThreadWork()
    {
        m_stop = true;
        m_start.release();
        m_thread.join();
    }
    TwoThreadWork(const TwoThreadWork &) = delete;
    TwoThreadWork &operator=(const TwoThreadWork &) = delete;

    void prepare(tessarc::LineNumber first, const std::vector<QByteArrayView> &texts)
    {
        m_first = first.value;
        m_texts = &texts;
        if (m_out.size() < texts.size()) {
            m_out.resize(texts.size());
            m_faults.resize(texts.size());
        }
        m_count = texts.size();
        const std::size_t half = texts.size() >= kSplitBlock ? texts.size() / 2 : texts.size();
        m_from = half;
        const bool shared = half < texts.size();
        if (shared)
            m_start.release();
        std::exception_ptr mine;
        try {
            workOn(m_work, 0, half);
        } catch (...) {
            mine = std::current_exception();
        }
        if (shared)
            m_done.acquire();
        if (mine)
            std::rethrow_exception(mine);
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

    // The line's new text and fault as prepared, `out` taking the text; false for a line the
    // block did not prepare.
    bool take(tessarc::LineNumber record, QByteArray &out, LineFault &fault)
    {
        const qint64 i = record.value - m_first;
        if (i < 0 || std::size_t(i) >= m_count)
            return false;
        out.swap(m_out[std::size_t(i)]);
        fault = m_faults[std::size_t(i)];
        return true;
    }

private:
    void workOn(const LineWork &work, std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i) {
            m_out[i].resize(0);
            m_faults[i] = work((*m_texts)[i], m_out[i]);
        }
    }
    void serve()
    {
        for (;;) {
            m_start.acquire();
            if (m_stop)
                return;
            try {
                workOn(m_copy, m_from, m_count);
            } catch (...) {
                m_error = std::current_exception();
            }
            m_done.release();
        }
    }

    const LineWork &m_work;
    LineWork m_copy;
    const std::vector<QByteArrayView> *m_texts = nullptr;
    std::vector<QByteArray> m_out;
    std::vector<LineFault> m_faults;
    qint64 m_first = 0;
    std::size_t m_count = 0;
    std::size_t m_from = 0;
    std::exception_ptr m_error;
    bool m_stop = false;
    std::binary_semaphore m_start{0};
    std::binary_semaphore m_done{0};
    std::thread m_thread; // last: it starts once the rest is made
};

} // namespace

std::optional<LineRange> Tool::checkRange(const RunPlace &place) const
{
    return tools::checkRange(fields, place.program.lineCount());
}

QString ToolRun::stoppedText(const LineRange &range, qint64 line, const QString &reason, bool changedBefore)
{
    const QString where = QStringLiteral("Line %1: ").arg(line);
    if (line == range.first)
        return where + reason + QStringLiteral(" The run stopped there: no line was changed.");
    if (!changedBefore)
        return where + reason + QStringLiteral(" The run stopped there; the lines before it may have been changed.");
    return where + reason +
           QStringLiteral(" The run stopped there: lines %1 to %2 were changed, the lines from line %3 on were not.")
               .arg(range.first)
               .arg(line - 1)
               .arg(line);
}

QString ToolRun::rewriteRange(const LineRange &range, const LineWork &work, Lines lines) const
{
    tessarc::Program &program = m_place.program;
    qint64 next = range.first; // the line the run comes to next: where a failure stops it
    LineFault stoppedBy = LineFault::None;
    m_note.counted = true;
    try {
        tessarc::LineStore store;
        program.openStore(store, range.last);
        // The lines the run came past may have changed, whether it ends, stops or fails.
        const auto told = qScopeGuard([&]() { program.tellRewritten(tessarc::LineNumber(range.first), next - range.first); });
        // The records are rewritten where they stand, a few hundred kilobytes at a time, so that
        // they are still in the processor's cache when they are worked on and written back.
        tessarc::ChangeRecord *change = program.recording();
        std::unique_ptr<TwoThreadWork> split;
        if (lines == Lines::Independent && range.count() >= kSplitLines && std::thread::hardware_concurrency() > 1)
            split = std::make_unique<TwoThreadWork>(work);
        tessarc::LineStore::BlockPrepare prepare;
        if (split)
            prepare = [&split](tessarc::LineNumber first, const std::vector<QByteArrayView> &texts) {
                split->prepare(first, texts);
            };
        const auto rewrite = [&](tessarc::LineNumber record, QByteArrayView text, QByteArray &out) {
            next = record.value;
            progress(next - range.first + 1, range);
            LineFault fault = LineFault::None;
            if (!split || !split->take(record, out, fault))
                fault = work(text, out);
            if (stopsRun(fault)) {
                stoppedBy = fault;
                return false;
            }
            if (fault != LineFault::None)
                m_note.leaveAlone(fault);
            else if (QByteArrayView(out) != text)
                ++m_note.changed;
            ++next;
            return true;
        };
        store.rewriteRecords(tessarc::LineNumber(range.first), range.count(), rewrite, change ? change->journal() : nullptr,
                             prepare, split ? kSplitRewriteBytes : kRewriteBytes);
        store.close();
    } catch (const tessarc::ControlError &error) {
        // A record that cannot be read or rewritten stops the rewrite as a fault does, with the
        // lines before it written; after another failure (the disk's) they may not all have been.
        const bool written = error.number() == tessarc::ControlError::BadRecordLength;
        return stoppedText(range, next, error.description() + QLatin1Char('.'), written);
    }
    if (stoppedBy == LineFault::None)
        return QString();
    return stoppedText(range, next, lineFaultText(stoppedBy), true);
}

QString ToolRun::readRange(const LineRange &range,
                           const std::function<bool(tessarc::LineNumber, QByteArrayView)> &visit) const
{
    tessarc::Program &program = m_place.program;
    qint64 next = range.first;
    try {
        {
            tessarc::LineStore whole; // a short store is refused before anything is read
            program.openStore(whole, range.last);
        }
        tessarc::StoreBlocks blocks(program, tessarc::LineNumber(range.first), range.count());
        while (blocks.next()) {
            for (qint64 i = 0; i < blocks.blockLines(); ++i) {
                const tessarc::LineNumber line = blocks.blockFirst() + i;
                next = line.value;
                progress(next - range.first + 1, range);
                if (!visit(line, blocks.line(i)))
                    return QString();
            }
        }
    } catch (const tessarc::ControlError &error) {
        return QStringLiteral("Line %1: ").arg(next) + error.description() + QLatin1Char('.');
    }
    return QString();
}

ToolOutcome runTool(Tool &tool, const RunPlace &place, RunFeedback &feedback,
                    const std::function<bool(const LineRange &)> &start)
{
    ToolOutcome outcome;
    if (std::optional<QString> refusal = tool.checkFields(place)) {
        outcome.message = *refusal;
        return outcome;
    }
    const std::optional<LineRange> range = tool.checkRange(place);
    if (!range) {
        outcome.message = place.textNull;
        return outcome;
    }
    if (std::optional<QString> refusal = tool.checkRun(*range, place)) {
        outcome.message = *refusal;
        return outcome;
    }
    if (start && !start(*range))
        return outcome;
    outcome.ran = true;
    RunNote &note = outcome.note;
    note.what = tool.stepName();
    note.first = range->first;
    note.last = range->last;
    QElapsedTimer clock;
    clock.start();
    ToolRun run(place, feedback, note);
    const std::optional<QString> failure = tessarc::failureOf([&] {
        // The whole run is one step of the history, whatever part of it reaches the store.
        tessarc::ChangeRecord change(place.program, tool.stepName(), tessarc::LineNumber(place.caretLine));
        outcome.message = tool.run(run, *range);
        change.finish();
    });
    if (failure)
        outcome.message = *failure + QLatin1Char('.');
    note.elapsedMs = clock.elapsed();
    note.stopped = outcome.message;
    return outcome;
}

} // namespace tools
