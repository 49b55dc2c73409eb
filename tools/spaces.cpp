#include "spaces.h"

#include "wordscan.h"

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

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

SpaceWork::SpaceWork(const SpaceSettings &settings, const LineRules &rules)
    : m_settings(settings), m_maxLength(rules.maxLength)
{
}

LineFault SpaceWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const qsizetype n = line.size();
    const char *in = line.data();
    // Room for the most the line can become: a space before every other byte.
    out.resize(m_settings.add ? n + n / 2 + 1 : n);
    char *to = out.data();
    if (!m_settings.add) {
        // Every byte is written and the next one goes over it when it was a space.
        for (qsizetype i = 0; i < n; ++i) {
            *to = in[i];
            to += in[i] != ' ';
        }
        out.resize(to - out.data());
        return LineFault::None;
    }
    // The bytes between two new spaces are copied as one run.
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (!kAsciiLetter[static_cast<uchar>(in[i])] || !isDigit(in[i + 1]) || (i > 0 && in[i - 1] == ' '))
            continue;
        std::memcpy(to, in + from, static_cast<size_t>(i - from));
        to += i - from;
        *to++ = ' ';
        from = i;
    }
    if (n > from)
        std::memcpy(to, in + from, static_cast<size_t>(n - from));
    const qsizetype added = (to - out.data()) - from;
    if (n + added > m_maxLength) {
        copyLine(line, out);
        return LineFault::TooLong;
    }
    out.resize(n + added);
    return LineFault::None;
}

} // namespace tools
