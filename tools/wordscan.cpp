#include "wordscan.h"

#include "axislookup.h"

#include <cmath>
#include <cstring>

namespace tools {

char wordLetter(const QString &axis)
{
    const QString letter = functions::reducedAxis(axis);
    if (letter.size() != 1)
        return 0;
    const char16_t c = letter.at(0).unicode();
    if (c >= 'a' && c <= 'z')
        return char(c - 'a' + 'A');
    return (c >= 'A' && c <= 'Z') ? char(c) : 0;
}

QString letterNames(std::initializer_list<QString> axes)
{
    QString out;
    QString seen;
    for (const QString &axis : axes) {
        const char letter = wordLetter(axis);
        if (!letter || seen.contains(QLatin1Char(letter)))
            continue;
        seen += QLatin1Char(letter);
        if (!out.isEmpty())
            out += QStringLiteral(" or ");
        out += QLatin1Char(letter);
    }
    return out;
}

WordFinder::WordFinder(const QString &axis, const LineRules &rules)
    : m_letter(wordLetter(axis)), m_reader(rules.comments, rules.spaces)
{
}

tessarc::FoundWord WordFinder::find(QByteArrayView line) const
{
    return m_letter ? m_reader.find(line, m_letter) : tessarc::FoundWord{};
}

LineFault writeWord(QByteArrayView line, const tessarc::Word &word, double value, const NumberWriter &writer,
                    qsizetype maxLength, QByteArray &out)
{
    if (!std::isfinite(value)) {
        copyLine(line, out);
        return LineFault::NotFinite;
    }
    const qsizetype head = word.numberStart;
    const qsizetype after = word.numberStart + word.numberLength;
    const qsizetype rest = line.size() - after;
    if (!writer.direct()) {
        out.resize(0);
        out.append(line.data(), head);
        writer.append(value, out);
        out.append(line.data() + after, rest);
    } else {
        char text[NumberWriter::kLongestNumber];
        const qsizetype n = writer.write(value, text);
        out.resize(head + n + rest);
        char *to = out.data();
        std::memcpy(to, line.data(), static_cast<size_t>(head));
        std::memcpy(to + head, text, static_cast<size_t>(n));
        if (rest > 0)
            std::memcpy(to + head + n, line.data() + after, static_cast<size_t>(rest));
    }
    if (out.size() > maxLength) {
        copyLine(line, out);
        return LineFault::TooLong;
    }
    return LineFault::None;
}

void copyLine(QByteArrayView text, QByteArray &out)
{
    out.resize(0);
    out.append(text.data(), text.size());
}

} // namespace tools
