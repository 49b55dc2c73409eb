#include "notation.h"

#include <array>

namespace tessarc {

namespace {

constexpr std::array<const char *, 32> kNames = {
    "(NUL)", "(SOH)", "(STX)", "(ETX)", "(EOT)", "(ENQ)", "(ACK)", "(BEL)",
    "(BS)",  "(HT)",  "(LF)",  "(VT)",  "(FF)",  "(CR)",  "(SO)",  "(SI)",
    "(DLE)", "(DC1)", "(DC2)", "(DC3)", "(DC4)", "(NAK)", "(SYN)", "(ETB)",
    "(CAN)", "(EM)",  "(SUB)", "(ESC)", "(FS)",  "(GS)",  "(RS)",  "(US)",
};

} // namespace

QByteArrayView controlName(int code)
{
    if (code < 0 || code > 31)
        return {};
    return QByteArrayView(kNames[static_cast<size_t>(code)]);
}

QByteArray controlToNotation(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto code = static_cast<unsigned char>(ch);
        if (code < 32)
            out.append(kNames[code]);
        else
            out.append(ch);
    }
    return out;
}

// One pass from left to right gives the same result as replacing the names code by code: every
// name runs from a "(" to the first ")" after it, so two names never overlap, and the character
// that replaces a name never forms part of another.
QByteArray notationToControl(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (text[i] == '(') {
            const qsizetype close = text.indexOf(')', i + 1);
            // The longest name is five characters, "(NUL)".
            if (close > i && close - i <= 4) {
                const QByteArrayView candidate = text.sliced(i, close - i + 1);
                int found = -1;
                for (int code = 0; code < 32 && found < 0; ++code) {
                    if (candidate == QByteArrayView(kNames[static_cast<size_t>(code)]))
                        found = code;
                }
                if (found >= 0) {
                    out.append(static_cast<char>(found));
                    i = close + 1;
                    continue;
                }
            }
        }
        out.append(text[i]);
        ++i;
    }
    return out;
}

} // namespace tessarc
