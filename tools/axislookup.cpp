#include "axislookup.h"

#include "numbers.h"

#include <QChar>
#include <array>
#include <optional>

namespace functions {

namespace {

// The bytes of a delimiter, or nothing when it holds a character outside Latin-1.
std::optional<QByteArray> latin1(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
    }
    return text.toLatin1();
}

bool isNumberChar(char c, bool spaces)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || (spaces && c == ' ');
}

} // namespace

// Latin-1 letters folded to lower case, so that "x" finds "X" and "é" finds "É".
const std::array<uchar, 256> &lowerCase()
{
    static const std::array<uchar, 256> table = [] {
        std::array<uchar, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const char16_t lower = QChar(static_cast<char16_t>(c)).toLower().unicode();
            t[static_cast<std::size_t>(c)] = static_cast<uchar>(lower < 256 ? lower : c);
        }
        return t;
    }();
    return table;
}


QString reducedAxis(const QString &axis)
{
    qsizetype from = 0;
    while (from < axis.size() && axis.at(from) == QLatin1Char(' '))
        ++from;
    // The first character left is the letter; trailing spaces only matter when nothing else is left.
    return axis.mid(from, 1);
}

qsizetype findLetter(const QString &letter, const QByteArray &line)
{
    if (letter.size() != 1 || letter.at(0).unicode() > 0xFF)
        return -1;
    const auto &lower = lowerCase();
    const uchar wanted = lower[letter.at(0).unicode()];
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (lower[static_cast<uchar>(line.at(i))] == wanted)
            return i;
    }
    return -1;
}

AxisValue findAxisValue(QString &axis, const QByteArray &line, bool spaces)
{
    axis = reducedAxis(axis);
    const qsizetype p = findLetter(axis, line);
    if (p < 0)
        return {};
    qsizetype end = p + 1;
    QByteArray digits;
    while (end < line.size() && isNumberChar(line.at(end), spaces)) {
        if (line.at(end) != ' ')
            digits.append(line.at(end));
        ++end;
    }
    AxisValue result;
    result.value = leadingNumber(QByteArrayView(digits));
    result.length = static_cast<double>(end - p - 1);
    result.found = 1.0;
    return result;
}

QByteArray stripComments(const QByteArray &line, const QString &startComment, const QString &endComment)
{
    const std::optional<QByteArray> start = latin1(startComment);
    if (!start || start->isEmpty())
        return line;
    const std::optional<QByteArray> end = latin1(endComment);
    if (end && end->isEmpty()) {
        const qsizetype at = line.indexOf(*start);
        return at < 0 ? line : line.left(at);
    }

    QByteArray out;
    out.reserve(line.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = line.indexOf(*start, from);
        if (open < 0) {
            out.append(line.constData() + from, line.size() - from);
            return out;
        }
        out.append(line.constData() + from, open - from);
        const qsizetype close = end ? line.indexOf(*end, open + start->size()) : -1;
        if (close < 0)
            return out;
        from = close + end->size();
    }
}

AxisValue findAxisValueNoComments(QString &axis, QByteArray &line, bool spaces, const QString &startComment,
                                  const QString &endComment)
{
    line = stripComments(line, startComment, endComment);
    return findAxisValue(axis, line, spaces);
}

} // namespace functions
