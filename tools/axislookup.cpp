#include "axislookup.h"

#include "numbers.h"

#include <QChar>
#include <array>

namespace functions {

namespace {

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

QByteArray stripComments(const QByteArray &line, const tessarc::CommentRule &rule)
{
    const tessarc::CommentScanner scanner(rule);
    if (!scanner.any())
        return line;
    QByteArray out;
    out.reserve(line.size());
    scanner.appendStripped(line, out);
    return out;
}

QByteArray stripComments(const QByteArray &line, const QString &startComment, const QString &endComment)
{
    return stripComments(line, tessarc::CommentRule{startComment, endComment, QString()});
}

AxisValue findAxisValueNoComments(QString &axis, QByteArray &line, bool spaces, const tessarc::CommentRule &rule)
{
    line = stripComments(line, rule);
    return findAxisValue(axis, line, spaces);
}

AxisValue findAxisValueNoComments(QString &axis, QByteArray &line, bool spaces, const QString &startComment,
                                  const QString &endComment)
{
    return findAxisValueNoComments(axis, line, spaces, tessarc::CommentRule{startComment, endComment, QString()});
}

} // namespace functions
