#include "spaces.h"

#include "wordscan.h"

#include <algorithm>
#include <array>
#include <cstring>

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
        out.resize(n);
        char *to = out.data();
        qsizetype at = 0;
        const auto packUpTo = [&](qsizetype end) {
            for (; at < end; ++at) {
                *to = in[at];
                to += in[at] != ' ';
            }
        };
        m_reader.skipSpans(line, m_spans);
        for (const tessarc::SkipSpan &span : m_spans) {
            packUpTo(span.start);
            std::memcpy(to, in + span.start, size_t(span.length));
            to += span.length;
            at = span.start + span.length;
        }
        packUpTo(n);
        out.resize(to - out.data());
        return LineFault::None;
    }
    // Where the words start: the reader's words, and the letters that stand before an expression or
    // a parameter and start no longer name.
    m_starts.clear();
    m_reader.wordStarts(line, m_starts);
    if (tessarc::WordReader::mayOpen(line)) {
        m_reader.skipSpans(line, m_spans);
        for (const tessarc::SkipSpan &span : m_spans) {
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
