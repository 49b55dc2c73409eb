#include "textmatch.h"

#include "axislookup.h"
#include "notation.h"
#include "wordscan.h"

#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace search {

namespace {

// The bytes of `word` that are zero, each marked by its top bit, exactly (no borrow runs from
// one byte into the next).
constexpr quint64 zeroBytes(quint64 word)
{
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((word & low7) + low7) | word | low7);
}

// The first offset from `at` to `last` (inclusive) whose byte with the 0x20 bit set is `folded`,
// or -1. Sixteen bytes are compared at once where the processor can, else eight, as a word in
// which a byte that matches becomes zero; the last few bytes of a line are tested with the
// sixteen (or eight) that end it, those before `at` left out.
qsizetype findFolded(const char *data, qsizetype at, qsizetype last, uchar folded)
{
#if defined(__SSE2__)
    // Sixteen bytes at once where the line is long enough.
    if (last >= 15) {
        const __m128i bit = _mm_set1_epi8(0x20);
        const __m128i want = _mm_set1_epi8(static_cast<char>(folded));
        auto matches = [&](qsizetype from) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + from));
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(bytes, bit), want)));
        };
        for (; last - at >= 15; at += 16) {
            if (const unsigned found = matches(at))
                return at + std::countr_zero(found);
        }
        if (at > last)
            return -1;
        const qsizetype from = last - 15;
        const unsigned found = matches(from) & (~0u << (at - from));
        return found ? from + std::countr_zero(found) : -1;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr quint64 ones = 0x0101010101010101ULL;
        const quint64 want = ones * folded;
        auto matches = [&](qsizetype from) {
            quint64 word = 0;
            std::memcpy(&word, data + from, sizeof word);
            return zeroBytes((word | (ones * 0x20)) ^ want);
        };
        if (last >= 7) {
            for (; last - at >= 7; at += 8) {
                if (const quint64 zero = matches(at))
                    return at + std::countr_zero(zero) / 8;
            }
            if (at > last)
                return -1;
            const qsizetype from = last - 7;
            const quint64 zero = matches(from) & (~quint64(0) << (8 * (at - from)));
            return zero ? from + std::countr_zero(zero) / 8 : -1;
        }
    }
    for (; at <= last; ++at) {
        if ((static_cast<uchar>(data[at]) | 0x20) == folded)
            return at;
    }
    return -1;
}

} // namespace

std::optional<QByteArray> fieldBytes(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
    }
    return tessarc::notationToControl(text.toLatin1());
}

TextMatcher::TextMatcher(QByteArrayView text, bool matchCase)
    : m_text(text.toByteArray()), m_matchCase(matchCase), m_lower(functions::lowerCase().data())
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
    m_startsFold = m_startCount == 2 && (static_cast<uchar>(m_starts[0]) ^ static_cast<uchar>(m_starts[1])) == 0x20;
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
    const uchar *lower = m_lower;
    const auto *wanted = reinterpret_cast<const uchar *>(m_text.constData());
    if (m_startsFold) {
        const auto folded = static_cast<uchar>(static_cast<uchar>(m_starts[0]) | 0x20);
        for (qsizetype i = findFolded(data, from, lastStart, folded); i >= 0; i = findFolded(data, i + 1, lastStart, folded)) {
            const auto *text = reinterpret_cast<const uchar *>(data + i);
            qsizetype k = 1;
            while (k < n && lower[text[k]] == wanted[k])
                ++k;
            if (k == n)
                return i;
        }
        return -1;
    }
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

AxisCondition::AxisCondition(const QString &axis, Comparison comparison, double number,
                             const tessarc::WordReader &words)
    : m_letter(tools::wordLetter(axis)), m_comparison(comparison), m_number(number), m_words(words)
{
    if (!m_letter)
        return;
    m_candidate = TextMatcher::forField(axis, false);
    m_letterOnly = axis.size() == 1;
}

AxisResult AxisCondition::test(QByteArrayView line) const
{
    if (!m_letter || (!m_letterOnly && m_candidate.indexIn(line) < 0))
        return {};
    const tessarc::FoundWord found = m_words.find(line, m_letter);
    if (found.use == tessarc::LetterUse::Expression)
        return {AxisTest::Expression, found.word};
    if (found.use != tessarc::LetterUse::Word)
        return {};
    const double value = found.word.value;
    bool holds = false;
    switch (m_comparison) {
    case Comparison::Greater:
        holds = value > m_number;
        break;
    case Comparison::Less:
        holds = value < m_number;
        break;
    case Comparison::Equal:
        holds = value == m_number;
        break;
    case Comparison::NotEqual:
        holds = value != m_number;
        break;
    }
    return {holds ? AxisTest::Holds : AxisTest::Fails, found.word};
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
