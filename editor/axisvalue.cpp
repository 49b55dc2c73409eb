#include "axisvalue.h"

#include <optional>

namespace tessarc {

namespace {

QString trimSpaces(const QString &s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && s.at(to - 1) == QLatin1Char(' '))
        --to;
    return s.mid(from, to - from);
}

} // namespace

AxisValue getAxisValue(QString &gcaxis, const QString &strLine, const WordReader &words)
{
    gcaxis = trimSpaces(gcaxis).left(1);
    const char16_t c = gcaxis.isEmpty() ? 0 : gcaxis.at(0).unicode();
    const char letter = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : (c >= 'A' && c <= 'Z') ? char(c) : 0;
    if (!letter || strLine.isEmpty())
        return {0.0, 0.0, 0.0};
    // A character outside Latin-1 is never part of a word: it stands as a byte that is no letter.
    QByteArray bytes = strLine.toLatin1();
    for (qsizetype i = 0; i < strLine.size(); ++i) {
        if (strLine.at(i).unicode() > 0xFF)
            bytes[i] = '\x01';
    }
    const std::optional<Word> word = words.first(bytes, letter);
    if (!word)
        return {0.0, 0.0, 0.0};
    const auto taken = static_cast<double>(word->numberStart + word->numberLength - word->letterPos - 1);
    return {word->value, taken, 1.0};
}

} // namespace tessarc
