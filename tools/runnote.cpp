#include "runnote.h"

namespace tools {

QString RunNote::textWithoutTime() const
{
    QString out = what + QStringLiteral(": lines %1 to %2: ").arg(first).arg(last);
    if (!counted)
        out += detail.isEmpty() ? QStringLiteral("done") : detail;
    else if (changed == 0)
        out += QStringLiteral("no line changed");
    else
        out += changed == 1 ? QStringLiteral("1 line changed") : QStringLiteral("%1 lines changed").arg(changed);
    for (std::size_t f = 0; f < leftAlone.size(); ++f) {
        const qint64 n = leftAlone[f];
        if (n == 0)
            continue;
        const auto fault = static_cast<LineFault>(f);
        QString reason = lineFaultText(fault).trimmed();
        if (fault == LineFault::Expression)
            reason = (letters.isEmpty() ? QStringLiteral("the word") : letters) + QLatin1Char(' ') + reason;
        if (reason.endsWith(QLatin1Char('.')))
            reason.chop(1);
        out += n == 1 ? QStringLiteral(", 1 line left alone: %1").arg(reason)
                      : QStringLiteral(", %1 lines left alone: %2").arg(n).arg(reason);
    }
    if (!remark.isEmpty())
        out += QStringLiteral(", ") + remark;
    if (!stopped.isEmpty())
        out += QStringLiteral(". ") + stopped;
    return out;
}

QString RunNote::text() const
{
    QString out = textWithoutTime();
    if (out.endsWith(QLatin1Char('.')))
        out.chop(1);
    return out + QStringLiteral(" in %1 s.").arg(double(elapsedMs) / 1000.0, 0, 'f', 2);
}

} // namespace tools
