#include "spaces.h"

#include "wordscan.h"

namespace tools {

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

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
        for (qsizetype i = 0; i < n; ++i) {
            if (in[i] != ' ')
                *to++ = in[i];
        }
        out.resize(to - out.data());
        return LineFault::None;
    }
    qsizetype added = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (isAsciiLetter(in[i]) && i + 1 < n && isDigit(in[i + 1]) && (i == 0 || in[i - 1] != ' ')) {
            *to++ = ' ';
            ++added;
        }
        *to++ = in[i];
    }
    if (n + added > m_maxLength) {
        copyLine(line, out);
        return LineFault::TooLong;
    }
    out.resize(n + added);
    return LineFault::None;
}

} // namespace tools
