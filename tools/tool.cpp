#include "tool.h"

#include "controlerror.h"
#include "history.h"
#include "linestore.h"
#include "program.h"
#include "storeblocks.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <exception>
#include <semaphore>
#include <thread>
#include <vector>

namespace tools {

namespace {

// The bytes of records a rewrite works on at once: few enough to be still in the processor's
// cache when they are written back, and the same on one thread or two, so that a run that fails
// has written the same records either way.
constexpr qint64 kRewriteBytes = 1024 * 1024;
// The fewest lines worth a second thread.
constexpr qint64 kSplitLines = 4096;
// The fewest lines of a block worth waking the other thread for.
constexpr std::size_t kSplitBlock = 64;

// The new texts of a block's lines worked out on two threads while the block is rewritten: the
// rewrite takes the lines from the front, working out each one itself unless a thread of its own,
// with a copy of the run's work, has taken it from the back. Each line is claimed once, so the
// two meet wherever the work of the lines and the rewrite's own share of it put them.
class TwoThreadWork final : public tessarc::LineStore::BlockPrepare
{
public:
    explicit TwoThreadWork(const LineWork &work) : m_copy(work), m_thread([this] { serve(); }) {}
    ~TwoThreadWork() override
    {
        m_stop = true;
        m_start.release();
        m_thread.join();
    }
    TwoThreadWork(const TwoThreadWork &) = delete;
    TwoThreadWork &operator=(const TwoThreadWork &) = delete;

    void begin(tessarc::LineNumber first, const std::vector<QByteArrayView> &texts) override
    {
        m_first = first.value;
        m_texts = &texts;
        m_count = texts.size();
        if (m_out.size() < m_count) {
            m_out.resize(m_count);
            m_faults.resize(m_count);
            m_claims = std::make_unique<std::atomic<Claim>[]>(m_count);
        }
        for (std::size_t i = 0; i < m_count; ++i)
            m_claims[i].store(Claim::Free, std::memory_order_relaxed);
        m_over.store(false, std::memory_order_relaxed);
        m_shared = m_serving = m_count >= kSplitBlock;
        if (m_shared)
            m_start.release(); // the release orders the claims and texts before the thread's reading
    }

    void done() noexcept override
    {
        m_over.store(true, std::memory_order_relaxed); // lines after a stop are not worth working out
        join();
        m_shared = false;
    }

    // The line's new text and fault from the other thread, `out` taking the text; false for a line
    // this thread works out itself. A failure of the other thread's work on the line is thrown here,
    // at the line, as the one-thread run would throw it.
    bool take(tessarc::LineNumber record, QByteArray &out, LineFault &fault)
    {
        const qint64 i = record.value - m_first;
        if (!m_shared || i < 0 || std::size_t(i) >= m_count)
            return false;
        Claim claim = Claim::Free;
        if (m_claims[i].compare_exchange_strong(claim, Claim::Rewrite, std::memory_order_acquire))
            return false;
        // The thread is on this line, the last it takes (the one before is this thread's): it
        // is done in a moment unless the thread was put aside, and then it is waited for asleep.
        for (int spins = 0; claim == Claim::Working && spins < kSpins; ++spins)
            claim = m_claims[i].load(std::memory_order_acquire);
        if (claim == Claim::Working) {
            join();
            claim = m_claims[i].load(std::memory_order_acquire);
        }
        if (claim == Claim::Failed)
            std::rethrow_exception(m_error);
        out.swap(m_out[std::size_t(i)]);
        fault = m_faults[std::size_t(i)];
        return true;
    }

private:
    enum class Claim : unsigned char { Free, Rewrite, Working, Ready, Failed };
    // Looks at a line the other thread is on before sleeping until the thread is done: far more
    // than the work of a line takes.
    static constexpr int kSpins = 4000;

    // Waits for the thread to be done with the block, if it is not already.
    void join() noexcept
    {
        if (!m_serving)
            return;
        m_done.acquire();
        m_serving = false;
    }

    void workFromBack()
    {
        for (std::size_t i = m_count; i-- > 0;) {
            Claim claim = Claim::Free;
            if (m_over.load(std::memory_order_relaxed) ||
                !m_claims[i].compare_exchange_strong(claim, Claim::Working, std::memory_order_acquire))
                return; // the rewrite has come this far, or is over
            try {
                m_out[i].resize(0);
                m_faults[i] = m_copy((*m_texts)[i], m_out[i]);
            } catch (...) {
                m_error = std::current_exception();
                m_claims[i].store(Claim::Failed, std::memory_order_release);
                return;
            }
            m_claims[i].store(Claim::Ready, std::memory_order_release);
        }
    }
    void serve()
    {
        for (;;) {
            m_start.acquire();
            if (m_stop)
                return;
            workFromBack();
            m_done.release();
        }
    }

    LineWork m_copy;
    const std::vector<QByteArrayView> *m_texts = nullptr;
    std::vector<QByteArray> m_out;
    std::vector<LineFault> m_faults;
    std::unique_ptr<std::atomic<Claim>[]> m_claims;
    qint64 m_first = 0;
    std::size_t m_count = 0;
    bool m_shared = false;  // the thread works on this block
    bool m_serving = false; // and is not yet known to be done with it
    std::atomic<bool> m_over{false};
    std::exception_ptr m_error; // of the line marked Failed
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
        // The records are rewritten where they stand, a block at a time.
        tessarc::ChangeRecord *change = program.recording();
        std::unique_ptr<TwoThreadWork> split;
        if (lines == Lines::Independent && range.count() >= kSplitLines && std::thread::hardware_concurrency() > 1)
            split = std::make_unique<TwoThreadWork>(work);
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
                             split.get(), kRewriteBytes);
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
