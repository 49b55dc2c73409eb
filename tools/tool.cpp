#include "tool.h"

#include "controlerror.h"
#include "history.h"
#include "linestore.h"
#include "program.h"
#include "storeblocks.h"

#include <QElapsedTimer>
#include <QScopeGuard>

namespace tools {

namespace {

// The bytes of records a rewrite reads, works on and writes back at once.
constexpr qint64 kRewriteBytes = 1024 * 1024;

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

QString ToolRun::rewriteRange(const LineRange &range, const LineWork &work) const
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
        const auto rewrite = [&](tessarc::LineNumber record, QByteArrayView text, QByteArray &out) {
            next = record.value;
            progress(next - range.first + 1, range);
            const LineFault fault = work(text, out);
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
                             kRewriteBytes);
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
