#include "textmatch.h"

#include "axislookup.h"
#include "notation.h"
#include "wordscan.h"

#include <cstring>

namespace search {

std::optional<QByteArray> fieldBytes(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
    }
    return tessarc::notationToControl(text.toLatin1());
}

TextMatcher::TextMatcher(QByteArrayView text, bool matchCase) : m_text(text.toByteArray()), m_matchCase(matchCase)
{
    if (!matchCase) {
        const auto &lower = functions::lowerCase();
        for (char &c : m_text)
            c = static_cast<char>(lower[static_cast<uchar>(c)]);
    }
}

TextMatcher TextMatcher::forField(const QString &text, bool matchCase)
{
    const std::optional<QByteArray> bytes = fieldBytes(text);
    return bytes ? TextMatcher(*bytes, matchCase) : TextMatcher();
}

qsizetype TextMatcher::indexIn(QByteArrayView line, qsizetype from) const
{
    const qsizetype n = m_text.size();
    if (n == 0 || from < 0 || line.size() - from < n)
        return -1;
    const char *data = line.data();
    if (m_matchCase) {
        const void *hit = ::memmem(data + from, static_cast<size_t>(line.size() - from), m_text.constData(),
                                   static_cast<size_t>(n));
        return hit ? static_cast<const char *>(hit) - data : -1;
    }
    const auto &lower = functions::lowerCase();
    const auto *text = reinterpret_cast<const uchar *>(data);
    const auto *wanted = reinterpret_cast<const uchar *>(m_text.constData());
    const uchar first = wanted[0];
    const qsizetype lastStart = line.size() - n;
    for (qsizetype i = from; i <= lastStart; ++i) {
        if (lower[text[i]] != first)
            continue;
        qsizetype k = 1;
        while (k < n && lower[text[i + k]] == wanted[k])
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

AxisCondition::AxisCondition(const QString &axis, Comparison comparison, double number, bool spaces)
    : m_comparison(comparison), m_number(number), m_spaces(spaces)
{
    const QString letter = functions::reducedAxis(axis);
    if (letter.isEmpty() || letter.at(0).unicode() > 0xFF)
        return;
    m_candidate = TextMatcher::forField(axis, false);
    m_letter = functions::lowerCase()[letter.at(0).unicode()];
}

std::optional<AxisWord> AxisCondition::test(QByteArrayView line) const
{
    if (m_letter < 0 || m_candidate.indexIn(line) < 0)
        return std::nullopt;
    const auto &lower = functions::lowerCase();
    qsizetype at = 0;
    while (at < line.size() && lower[static_cast<uchar>(line[at])] != m_letter)
        ++at;
    if (at == line.size())
        return std::nullopt; // a candidate always holds the letter; kept for safety
    const tools::WordNumber number = tools::numberAfter(line, at, m_spaces);
    bool holds = false;
    switch (m_comparison) {
    case Comparison::Greater:
        holds = number.value > m_number;
        break;
    case Comparison::Less:
        holds = number.value < m_number;
        break;
    case Comparison::Equal:
        holds = number.value == m_number;
        break;
    case Comparison::NotEqual:
        holds = number.value != m_number;
        break;
    }
    if (!holds)
        return std::nullopt;
    return AxisWord{at, number.length, number.value};
}

ViewSpan viewSpan(QByteArrayView line, qsizetype at, qsizetype length)
{
    auto shown = [&line](qsizetype from, qsizetype to) {
        qsizetype width = 0;
        for (qsizetype i = from; i < to && i < line.size(); ++i) {
            const auto code = static_cast<uchar>(line[i]);
            width += code < 32 ? tessarc::controlName(code).size() : 1;
        }
        return width;
    };
    return ViewSpan{shown(0, at), shown(at, at + length)};
}

} // namespace search
