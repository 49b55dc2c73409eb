#include "mirror.h"

#include "axislookup.h"
#include "numbers.h"

#include <cmath>
#include <utility>

namespace tools {

namespace {

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool matchesAt(const QByteArray &line, qsizetype at, const QByteArray &word)
{
    if (word.isEmpty() || at + word.size() > line.size())
        return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (upperAscii(line.at(at + i)) != upperAscii(word.at(i)))
            return false;
    }
    return true;
}

} // namespace

std::optional<QString> checkFields(const MirrorSettings &settings, const QString &textNull)
{
    if (settings.value.isEmpty() || functions::reducedAxis(settings.axis).isEmpty()
        || !functions::isNumeric(settings.value))
        return textNull;
    return std::nullopt;
}

QByteArray swapWords(const QByteArray &line, const QByteArray &first, const QByteArray &second)
{
    QByteArray out;
    out.reserve(line.size());
    qsizetype i = 0;
    while (i < line.size()) {
        if (matchesAt(line, i, first)) {
            out.append(second);
            i += first.size();
        } else if (matchesAt(line, i, second)) {
            out.append(first);
            i += second.size();
        } else {
            out.append(line.at(i));
            ++i;
        }
    }
    return out;
}

LineResult rewriteLine(const MirrorSettings &settings, const QByteArray &line, const LineRules &rules)
{
    QByteArray rewritten = line;
    QString axis = settings.axis;
    const functions::AxisValue found = functions::findAxisValue(axis, line, rules.spaces);
    if (found.found != 0.0) {
        const double v = found.value;
        const double m = functions::leadingNumber(settings.value);
        const double mirrored = v - (v - m) * 2;
        if (!std::isfinite(mirrored))
            return {line, LineFault::NotFinite};
        rewritten = replaceNumber(line, functions::findLetter(axis, line), static_cast<qsizetype>(found.length),
                                  renderValue(mirrored, rules));
    }
    if (settings.swapArcs)
        rewritten = swapWords(rewritten, QByteArrayLiteral("G02"), QByteArrayLiteral("G03"));
    if (settings.swapCompensation)
        rewritten = swapWords(rewritten, QByteArrayLiteral("G41"), QByteArrayLiteral("G42"));
    return finishLine(line, std::move(rewritten), rules);
}

} // namespace tools
