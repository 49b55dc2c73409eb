#include "wordscan.h"

#include "axislookup.h"
#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace tools {

namespace {

bool isNumberChar(char c, bool spaces)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || (spaces && c == ' ');
}

// The reading of a number text found after a letter (signs, points and digits, spaces already
// left out), as functions::leadingNumber reads it; false when the text is beyond this quick
// reading (too long, or a number too large or too small for a double).
bool readNumber(const char *text, qsizetype size, double &value)
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
    // Up to 15 digits make a whole number that a double holds exactly, and so does 10^d for up to
    // 22 decimals: one division then rounds exactly as the full reading does.
    if (digits <= 15) {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        long long whole = 0;
        int decimals = 0;
        bool afterPoint = false;
        for (qsizetype j = start; j < i; ++j) {
            if (text[j] == '.') {
                afterPoint = true;
                continue;
            }
            whole = whole * 10 + (text[j] - '0');
            if (afterPoint)
                ++decimals;
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

LetterMatch::LetterMatch(const QString &axis)
{
    const QString letter = functions::reducedAxis(axis);
    if (letter.size() != 1 || letter.at(0).unicode() > 0xFF)
        return;
    const auto &lower = functions::lowerCase();
    m_letter = lower[letter.at(0).unicode()];
    for (int b = 0; b < 256; ++b) {
        if (lower[static_cast<std::size_t>(b)] == m_letter) {
            if (m_count < 2)
                m_bytes[m_count] = static_cast<char>(b);
            ++m_count;
        }
    }
}

qsizetype LetterMatch::find(QByteArrayView line) const
{
    if (m_letter < 0)
        return -1;
    const char *data = line.data();
    const qsizetype n = line.size();
    if (m_count <= 2) {
        // The first of the (at most) two bytes, each found with memchr; the second is only looked
        // for before the first.
        const void *first = n > 0 ? std::memchr(data, m_bytes[0], static_cast<size_t>(n)) : nullptr;
        const qsizetype until = first ? static_cast<const char *>(first) - data : n;
        if (m_count == 2 && until > 0) {
            if (const void *other = std::memchr(data, m_bytes[1], static_cast<size_t>(until)))
                return static_cast<const char *>(other) - data;
        }
        return first ? until : -1;
    }
    const auto &lower = functions::lowerCase();
    for (qsizetype i = 0; i < n; ++i) {
        if (lower[static_cast<uchar>(data[i])] == m_letter)
            return i;
    }
    return -1;
}

qsizetype numberEnd(QByteArrayView line, qsizetype from, bool spaces)
{
    while (from < line.size() && isNumberChar(line[from], spaces))
        ++from;
    return from;
}

namespace {

// The word read the long way: the number text gathered without its spaces, then read by
// readNumber, or by functions::leadingNumber when it is beyond that.
Word readWordFully(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    Word word;
    word.letter = letterAt;
    qsizetype end = letterAt + 1;
    char number[64];
    qsizetype numberSize = 0;
    bool quick = true;
    while (end < line.size() && isNumberChar(line[end], spaces)) {
        const char c = line[end];
        if (c != ' ') {
            if (c >= '0' && c <= '9')
                word.digits = true;
            if (numberSize < qsizetype(sizeof number))
                number[numberSize++] = c;
            else
                quick = false;
        }
        ++end;
    }
    word.end = end;
    if (!quick || !readNumber(number, numberSize, word.value)) {
        // A number text beyond the quick reading: the full one, as slow as it needs to be.
        QByteArray text;
        for (qsizetype i = letterAt + 1; i < end; ++i) {
            if (line[i] != ' ')
                text.append(line[i]);
        }
        word.value = functions::leadingNumber(QByteArrayView(text));
    }
    return word;
}

} // namespace

Word readWord(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    // One pass over the number text finds its end and, for a number of up to 15 digits (nearly
    // every one a program holds), its value: a sign first, digits with at most one point, and the
    // reading stops at the first character that does not fit there. Longer texts are read again
    // the long way.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *text = line.data();
    const qsizetype n = line.size();
    qsizetype end = letterAt + 1;
    qsizetype kept = 0; // the characters other than spaces
    unsigned long long whole = 0;
    int digits = 0;
    int decimals = 0;
    bool negative = false;
    bool point = false;
    bool stopped = false;
    bool anyDigit = false;
    for (; end < n; ++end) {
        const char c = text[end];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (!stopped) {
                whole = whole * 10 + static_cast<unsigned>(c - '0');
                ++digits;
                decimals += point ? 1 : 0;
                if (digits > 15)
                    return readWordFully(line, letterAt, spaces);
            }
        } else if (c == '.') {
            stopped = stopped || point;
            point = true;
        } else if (c == '-' || c == '+') {
            if (kept == 0)
                negative = c == '-';
            else
                stopped = true;
        } else if (c != ' ' || !spaces) {
            break;
        } else {
            continue;
        }
        ++kept;
    }
    if (kept > 64)
        return readWordFully(line, letterAt, spaces);
    Word word;
    word.letter = letterAt;
    word.end = end;
    word.digits = anyDigit;
    if (digits > 0) {
        const double magnitude = static_cast<double>(whole) / kPowers[decimals];
        word.value = negative ? -magnitude : magnitude;
    }
    return word;
}

LineFault writeWord(QByteArrayView line, const Word &word, double value, const NumberWriter &writer,
                    qsizetype maxLength, QByteArray &out)
{
    if (!std::isfinite(value)) {
        copyLine(line, out);
        return LineFault::NotFinite;
    }
    const qsizetype head = word.letter + 1;
    const qsizetype rest = line.size() - word.end;
    if (!writer.direct()) {
        out.resize(0);
        out.append(line.data(), head);
        writer.append(value, out);
        out.append(line.data() + word.end, rest);
    } else {
        char text[NumberWriter::kLongestNumber];
        const qsizetype n = writer.write(value, text);
        out.resize(head + n + rest);
        char *to = out.data();
        std::memcpy(to, line.data(), static_cast<size_t>(head));
        std::memcpy(to + head, text, static_cast<size_t>(n));
        if (rest > 0)
            std::memcpy(to + head + n, line.data() + word.end, static_cast<size_t>(rest));
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
