#include "linerewrite.h"

#include "numbers.h"

#include <utility>

namespace tools {

QString lineFaultText(LineFault fault)
{
    switch (fault) {
    case LineFault::None:
        break;
    case LineFault::TooLong:
        return QStringLiteral("The changed line would be longer than a line can hold, so it was left as it was.");
    case LineFault::NotFinite:
        return QStringLiteral("The new value is too large to be written, so the line was left as it was.");
    case LineFault::Expression:
        return QStringLiteral("holds an expression");
    case LineFault::Arc:
        return QStringLiteral("an arc's end point");
    case LineFault::DivideByZero:
        return QStringLiteral("The value to divide by has stepped to 0, and a value cannot be divided by 0, so the "
                              "line was left as it was.");
    }
    return QString();
}

QByteArray replaceNumber(const QByteArray &line, qsizetype letterAt, qsizetype length, const QByteArray &number)
{
    QByteArray out;
    const qsizetype rest = letterAt + 1 + length;
    out.reserve(letterAt + 1 + number.size() + (line.size() - rest));
    out.append(line.constData(), letterAt + 1);
    out.append(number);
    out.append(line.constData() + rest, line.size() - rest);
    return out;
}

QByteArray renderValue(double value, const LineRules &rules)
{
    // A picture's literal text outside Latin-1 cannot stand in a line and is written as "?".
    return functions::formatNumber(value, rules.outputFormat).toLatin1();
}

LineResult finishLine(const QByteArray &original, QByteArray rewritten, const LineRules &rules)
{
    if (rewritten.size() > rules.maxLength)
        return {original, LineFault::TooLong};
    return {std::move(rewritten), LineFault::None};
}

} // namespace tools
