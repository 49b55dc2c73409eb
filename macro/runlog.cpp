#include "runlog.h"

#include <QLocale>

namespace macro {

QString secondsText(qint64 ms)
{
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString dateTimeText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    QString time = locale.timeFormat(QLocale::ShortFormat);
    // The short form often leaves the seconds out; a run of a few seconds wants them.
    if (!time.contains(QLatin1Char('s'))) {
        const qsizetype minutes = time.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            time.insert(minutes + 2, QLatin1String(":ss"));
    }
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(when.time(), time);
}

QString logLine(int number, const QString &stepType, const QString &comment, qint64 ms, StepOutcome outcome,
                const QString &reason, const QString &note)
{
    QString line = QStringLiteral("\r\n%1 %2(%3) - %4 seconds")
                       .arg(number, 3, 10, QLatin1Char('0'))
                       .arg(stepType, comment, secondsText(ms));
    // One line a step, whatever the reason holds.
    QString why = reason;
    why.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    switch (outcome) {
    case StepOutcome::Ran:
        break;
    case StepOutcome::Refused:
        line += QStringLiteral(" - refused: ") + why;
        break;
    case StepOutcome::Failed:
        line += QStringLiteral(" - failed: ") + why;
        break;
    }
    if (!note.isEmpty())
        line += QStringLiteral(" - ") + note;
    return line;
}

QString reportText(const QString &macroName, const QDateTime &started, const QDateTime &ended, qint64 ms,
                   const QString &runLog)
{
    return QStringLiteral("Done running %1. Macro was started at %2. The current time is %3.\r\nMacro took %4 seconds "
                          "to run.\r\n")
               .arg(macroName, dateTimeText(started), dateTimeText(ended), secondsText(ms)) +
           runLog;
}

} // namespace macro
