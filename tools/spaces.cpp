#include "spaces.h"

#include "wordscan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tools {

namespace {

// The letters A to Z in either case, by byte.
constexpr std::array<bool, 256> kAsciiLetter = [] {
    std::array<bool, 256> letters{};
    for (int c = 'A'; c <= 'Z'; ++c)
        letters[static_cast<std::size_t>(c)] = letters[static_cast<std::size_t>(c - 'A' + 'a')] = true;
    return letters;
}();

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Copies in[from, end) to `to` without its spaces and gives where the copy ends. Sixteen bytes are
// looked at and written at once, so `to` has room for 16 bytes more than are copied.
char *packSpaces(const char *in, qsizetype from, qsizetype end, char *to)
{
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    // The bytes up to the next space go out with the sixteen they start.
    const auto packFrom = [&](const char *bytes, qsizetype at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to), v);
        const auto spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, space)));
        const int kept = spaces ? std::countr_zero(spaces) : 16;
        to += kept;
        return at + kept + (spaces != 0);
    };
    while (end - from >= 16)
        from = packFrom(in, from);
    if (from < end) {
        // The last bytes, followed by spaces, which go.
        char last[32];
        std::memset(last, ' ', sizeof last);
        const qsizetype left = end - from;
        std::memcpy(last, in + from, size_t(left));
        for (qsizetype at = 0; at < left;)
            at = packFrom(last, at);
    }
    return to;
#else
    for (; from < end; ++from) {
        *to = in[from];
        to += in[from] != ' ';
    }
    return to;
#endif
}

} // namespace

SpaceWork::SpaceWork(const SpaceSettings &settings, const LineRules &rules)
    : m_settings(settings), m_maxLength(rules.maxLength), m_reader(rules.comments, rules.spaces)
{
}

LineFault SpaceWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const qsizetype n = line.size();
    const char *in = line.data();
    out.resize(0);
    if (!m_settings.add) {
        // The spaces of the code go; comments, parameter names and expressions are copied whole.
        out.resize(n + 16);
        char *to = out.data();
        qsizetype at = 0;
        m_reader.skipSpans(line, m_spans);
        for (const tessarc::SkipSpan &span : std::as_const(m_spans)) {
            to = packSpaces(in, at, span.start, to);
            std::memcpy(to, in + span.start, size_t(span.length));
            to += span.length;
            at = span.start + span.length;
        }
        to = packSpaces(in, at, n, to);
        out.resize(to - out.data());
        return LineFault::None;
    }
    // Where the words start: the reader's words, and the letters that stand before an expression or
    // a parameter and start no longer name.
    m_starts.clear();
    m_reader.wordStarts(line, m_starts);
    if (tessarc::WordReader::mayOpen(line)) {
        m_reader.skipSpans(line, m_spans);
        for (const tessarc::SkipSpan &span : std::as_const(m_spans)) {
            const qsizetype p = span.start - 1;
            if (span.kind != tessarc::SkipSpan::Kind::Comment && p >= 0 && kAsciiLetter[static_cast<uchar>(in[p])] &&
                (p == 0 || !kAsciiLetter[static_cast<uchar>(in[p - 1])]))
                m_starts.push_back(p);
        }
        std::sort(m_starts.begin(), m_starts.end());
    }
    // At most one space a start: written in place, then cut to what was written.
    out.resize(n + qsizetype(m_starts.size()));
    char *to = out.data();
    qsizetype from = 0;
    for (std::size_t k = 1; k < m_starts.size(); ++k) {
        const qsizetype p = m_starts[k];
        if (isBlank(in[p - 1]))
            continue;
        std::memcpy(to, in + from, size_t(p - from));
        to += p - from;
        *to++ = ' ';
        from = p;
    }
    if (n > from)
        std::memcpy(to, in + from, size_t(n - from));
    to += n - from;
    out.resize(to - out.data());
    if (out.size() > m_maxLength && out.size() > n) {
        copyLine(line, out);
        return LineFault::TooLong;
    }
    return LineFault::None;
}

} // namespace tools
