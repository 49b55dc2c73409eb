#pragma once

#include <QDateTime>
#include <QString>

// The texts of a macro run: one log line a finished step, and the report at the end. Times are
// whole milliseconds, shown as seconds with three decimals.
namespace macro {

// How one step of a run ended.
enum class StepOutcome {
    Ran,     // its tool ran to the end
    Refused, // it changed nothing: its tool refused its values, or the step could not be put into its window
    Failed,  // its tool started and stopped part way (what it had changed stays)
};

// `ms` as seconds with three decimals: 2000 gives "2.000".
QString secondsText(qint64 ms);
// A date and time in the system's short form, with the seconds.
QString dateTimeText(const QDateTime &when);

// The log line of step `number`: CR LF, the number in three digits at least, a space, the step
// name, the comment in brackets, " - ", the time and " seconds". A step that did not run to its end
// says so after the time, with the reason: " - refused: ..." or " - failed: ...". The note of what
// the step's tool did, when it gave one, follows after " - ".
QString logLine(int number, const QString &stepType, const QString &comment, qint64 ms, StepOutcome outcome,
                const QString &reason, const QString &note = QString());

// The report once the run is over: when it started and ended, how long it took, then the log.
QString reportText(const QString &macroName, const QDateTime &started, const QDateTime &ended, qint64 ms,
                   const QString &runLog);

} // namespace macro
