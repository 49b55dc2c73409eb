#include "wordscan.h"

#include "numbers.h"

#include <charconv>
#include <system_error>

namespace tools {

namespace {

bool isNumberChar(char c, bool spaces)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || (spaces && c == ' ');
}

// The reading of a number text of signs, points and digits (spaces already left out) as
// functions::leadingNumber reads it; false when the text needs the full reading (a number too
// large or too small for the quick one).
bool quickReading(const char *text, qsizetype size, double &value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const qsizetype start = i;
    bool point = false;
    int digits = 0;
    for (; i < size; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0) {
        value = 0.0;
        return true;
    }
    if (digits <= 15) {
        // Up to 15 digits make a whole number a double holds exactly, and 10^d is exact for these
        // d: the one division rounds exactly as the full reading does.
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        long long whole = 0;
        int decimals = 0;
        bool afterPoint = false;
        for (qsizetype j = start; j < i; ++j) {
            if (text[j] == '.') {
                afterPoint = true;
                continue;
            }
            whole = whole * 10 + (text[j] - '0');
            decimals += afterPoint ? 1 : 0;
        }
        const double magnitude = static_cast<double>(whole) / kPowers[decimals];
        value = negative ? -magnitude : magnitude;
        return true;
    }
    double magnitude = 0.0;
    const auto [ptr, ec] = std::from_chars(text + start, text + i, magnitude);
    (void)ptr;
    if (ec != std::errc())
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

WordNumber numberAfter(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    const char *data = line.data();
    const qsizetype size = line.size();
    qsizetype end = letterAt + 1;
    char text[64];
    qsizetype textSize = 0;
    bool fits = true;
    while (end < size && isNumberChar(data[end], spaces)) {
        if (data[end] != ' ') {
            if (textSize < qsizetype(sizeof text))
                text[textSize++] = data[end];
            else
                fits = false;
        }
        ++end;
    }
    WordNumber number;
    number.length = end - letterAt - 1;
    if (fits && quickReading(text, textSize, number.value))
        return number;
    // A number text beyond the quick reading: collected whole and read the long way.
    QByteArray whole;
    whole.reserve(number.length);
    for (qsizetype i = letterAt + 1; i < end; ++i) {
        if (data[i] != ' ')
            whole.append(data[i]);
    }
    number.value = functions::leadingNumber(QByteArrayView(whole));
    return number;
}

void LetterScan::read(QByteArrayView line, bool spaces, quint32 letters)
{
    m_found = 0;
    const char *data = line.data();
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        // 'A'..'Z' and 'a'..'z' fold to the same index; no other Latin-1 byte folds onto them.
        const unsigned folded = (static_cast<unsigned char>(data[i]) | 0x20u) - 'a';
        if (folded >= 26)
            continue;
        const quint32 bit = quint32(1) << folded;
        if (!(letters & bit) || (m_found & bit))
            continue;
        m_found |= bit;
        m_position[folded] = i;
        m_number[folded] = numberAfter(line, i, spaces);
        if (m_found == letters)
            return;
        // Number characters are never letters: the walk goes on after the number.
        i += m_number[folded].length;
    }
}

} // namespace tools
