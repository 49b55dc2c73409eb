#include "textmatch.h"

#include "axislookup.h"
#include "notation.h"
#include "letterscan.h"

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
    if (m_text.isEmpty())
        return;
    if (matchCase) {
        m_starts[m_startCount++] = m_text[0];
        return;
    }
    const auto &lower = functions::lowerCase();
    for (char &c : m_text)
        c = static_cast<char>(lower[static_cast<uchar>(c)]);
    // Case folding pairs a letter with at most one other byte.
    for (int b = 0; b < 256 && m_startCount < 2; ++b) {
        if (lower[static_cast<std::size_t>(b)] == static_cast<uchar>(m_text[0]))
            m_starts[m_startCount++] = static_cast<char>(b);
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
    const qsizetype lastStart = line.size() - n;
    const auto &lower = functions::lowerCase();
    const auto *wanted = reinterpret_cast<const uchar *>(m_text.constData());
    // The next place each starting byte stands, found with memchr and found again only once passed.
    auto next = [&](char start, qsizetype at) -> qsizetype {
        if (at > lastStart)
            return -1;
        const void *hit = std::memchr(data + at, start, static_cast<size_t>(lastStart - at + 1));
        return hit ? static_cast<const char *>(hit) - data : -1;
    };
    qsizetype at[2] = {next(m_starts[0], from), m_startCount > 1 ? next(m_starts[1], from) : -1};
    for (;;) {
        qsizetype i = at[0];
        if (i < 0 || (at[1] >= 0 && at[1] < i))
            i = at[1];
        if (i < 0)
            return -1;
        bool same = true;
        if (m_matchCase) {
            same = std::memcmp(data + i + 1, wanted + 1, static_cast<size_t>(n - 1)) == 0;
        } else {
            const auto *text = reinterpret_cast<const uchar *>(data + i);
            for (qsizetype k = 1; k < n && same; ++k)
                same = lower[text[k]] == wanted[k];
        }
        if (same)
            return i;
        for (int s = 0; s < m_startCount; ++s) {
            if (at[s] == i)
                at[s] = next(m_starts[s], i + 1);
        }
    }
}

AxisCondition::AxisCondition(const QString &axis, Comparison comparison, double number, bool spaces)
    : m_comparison(comparison), m_number(number), m_spaces(spaces)
{
    const QString letter = functions::reducedAxis(axis);
    if (letter.isEmpty() || letter.at(0).unicode() > 0xFF)
        return;
    m_candidate = TextMatcher::forField(axis, false);
    const char byte = static_cast<char>(letter.at(0).unicode());
    m_letter = TextMatcher(QByteArrayView(&byte, 1), false);
    m_letterOnly = axis == letter;
}

std::optional<AxisWord> AxisCondition::test(QByteArrayView line) const
{
    const qsizetype candidate = m_candidate.indexIn(line);
    if (candidate < 0)
        return std::nullopt;
    // A candidate always holds the letter.
    const qsizetype at = m_letterOnly ? candidate : m_letter.indexIn(line);
    if (at < 0)
        return std::nullopt;
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
