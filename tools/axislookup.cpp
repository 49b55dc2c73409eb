#include "axislookup.h"

#include <QChar>
#include <array>

namespace functions {

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

} // namespace functions
