#include "letterscan.h"

#include "numbers.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tools {

namespace {

constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The magnitude with the sign set when `negative`, without a branch (signs of a program's numbers
// follow no pattern a branch could learn).
double withSign(double magnitude, bool negative)
{
    return std::bit_cast<double>(std::bit_cast<quint64>(magnitude) | (quint64(negative) << 63));
}

} // namespace

double NumberText::value() const
{
    if (!quick)
        return slow;
    // Up to 15 digits make a whole number a double holds exactly, and 10^d is exact for these d,
    // so the one division rounds exactly as the full reading does.
    return withSign(static_cast<double>(whole) / kPowers[decimals], negative);
}

namespace {

// The characters of a number text: 1 for the signs, the point and the digits, 2 for the space
// (a number character only when spaces may stand inside numbers).
constexpr std::array<uchar, 256> kNumberChars = [] {
    std::array<uchar, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<std::size_t>(c)] = 1;
    t['-'] = t['+'] = t['.'] = 1;
    t[' '] = 2;
    return t;
}();

bool isDigit(char c)
{
    return static_cast<unsigned>(c - '0') < 10u;
}

// The reading of the number text [from, to), spaces anywhere in it: the rule in full.
void readInFull(const char *data, qsizetype from, qsizetype to, NumberText &number)
{
    const qsizetype length = number.length;
    number = NumberText();
    number.length = length;
    bool reading = true;
    bool seen = false;
    bool point = false;
    int digits = 0;
    for (qsizetype i = from; i < to && reading; ++i) {
        const char c = data[i];
        if (c == ' ')
            continue;
        if (isDigit(c)) {
            if (digits < 15) {
                number.whole = number.whole * 10 + (c - '0');
                ++digits;
                number.decimals += point ? 1 : 0;
            } else {
                number.quick = false;
            }
        } else if (c == '.' && point) {
            reading = false; // a second point ends the number
        } else if (c == '.') {
            point = true;
        } else if (seen) {
            reading = false; // a sign after the start ends the number
        } else {
            number.negative = c == '-';
        }
        seen = true;
    }
    number.digits = std::any_of(data + from, data + to, isDigit);
    number.negative = number.negative && digits > 0; // "-" alone reads as 0, not as -0
}

static_assert(std::endian::native == std::endian::little, "words are read with their first byte low");

// The 8 bytes of `line` from `at` as one word, the first in the low byte; bytes past the end of
// the line read as 0.
quint64 eightBytes(const char *line, qsizetype size, qsizetype at)
{
    quint64 word = 0;
    const qsizetype left = size - at;
    if (left >= 8) {
        std::memcpy(&word, line + at, 8);
    } else if (size >= 8 && left > 0) {
        // The line's last 8 bytes, moved down so the byte at `at` comes first.
        std::memcpy(&word, line + size - 8, 8);
        word >>= 8 * (8 - left);
    } else {
        for (qsizetype i = left - 1; i >= 0; --i)
            word = (word << 8) | static_cast<uchar>(line[at + i]);
    }
    return word;
}

// How many of the word's bytes, from the low one, are digits (0 to 8): every byte tested at once.
int digitRun(quint64 word)
{
    constexpr quint64 kHigh = 0xF0F0F0F0F0F0F0F0ull;
    constexpr quint64 kThrees = 0x3030303030303030ull;
    constexpr quint64 kLow7 = 0x7F7F7F7F7F7F7F7Full;
    // A byte is a digit when its high half is 3 both before and after adding 6 ("0".."9" and no
    // more). A carry out of a byte only reaches the bytes after a non-digit, which do not count.
    const quint64 off = ((word & kHigh) ^ kThrees) | (((word + 0x0606060606060606ull) & kHigh) ^ kThrees);
    // The top bit of each byte that is not 0 in `off`: the non-digits.
    const quint64 nonDigits = (((off & kLow7) + kLow7) | off) & ~kLow7;
    return nonDigits ? std::countr_zero(nonDigits) / 8 : 8;
}

// The value of the first `count` (0 to 8) digits of the word.
[[gnu::always_inline]] inline long long digitsValue(quint64 word, int count)
{
    if (count == 0)
        return 0;
    // Move the digits to the high end, "0"s below them, and read all eight at once.
    const int shift = 8 * (8 - count);
    quint64 v = shift ? (word << shift) | (0x3030303030303030ull >> (64 - shift)) : word;
    v -= 0x3030303030303030ull;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FFull) * 0x000F424000000064ull) +
         (((v >> 16) & 0x000000FF000000FFull) * 0x0000271000000001ull)) >> 32;
    return static_cast<long long>(v);
}

constexpr long long kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Read for every letter of every line of a pass: kept inline in the walk along a line.
[[gnu::always_inline]] inline NumberText readNumber(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    const char *data = line.data();
    const qsizetype size = line.size();
    const qsizetype from = letterAt + 1;
    NumberText number;

    // The usual shape first, read without a branch a character: a sign, up to 8 digits, a point
    // and digits up to 15 in all. Anything after that but spaces is read again in full below.
    qsizetype i = from;
    const char first = i < size ? data[i] : '\0';
    number.negative = first == '-';
    i += (first == '-' || first == '+') ? 1 : 0;
    const quint64 integerWord = eightBytes(data, size, i);
    const int integerDigits = digitRun(integerWord);
    i += integerDigits;
    const bool point = i < size && data[i] == '.';
    i += point ? 1 : 0;
    const quint64 decimalWord = point ? eightBytes(data, size, i) : 0;
    const int decimalDigits = std::min(digitRun(decimalWord), 15 - integerDigits);
    i += decimalDigits;
    number.whole = (integerDigits ? digitsValue(integerWord, integerDigits) : 0) * kTens[decimalDigits]
                   + (decimalDigits ? digitsValue(decimalWord, decimalDigits) : 0);
    number.decimals = decimalDigits;
    number.digits = integerDigits + decimalDigits > 0;
    number.negative = number.negative && number.digits;

    // The rest of the number text: usually nothing, or the spaces before the next word.
    const uchar accepted = spaces ? 3 : 1;
    qsizetype end = i;
    bool more = false;
    while (end < size && (kNumberChars[static_cast<uchar>(data[end])] & accepted)) {
        more = more || data[end] != ' ';
        ++end;
    }
    number.length = end - from;
    if (more)
        readInFull(data, from, end, number); // spaces inside, a second point or sign, many digits
    if (!number.quick) {
        // More than 15 digits: the text without its spaces, read the long way.
        QByteArray text;
        text.reserve(number.length);
        for (qsizetype k = from; k < end; ++k) {
            if (data[k] != ' ')
                text.append(data[k]);
        }
        number.slow = functions::leadingNumber(QByteArrayView(text));
    }
    return number;
}

} // namespace

NumberText readNumberText(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    return readNumber(line, letterAt, spaces);
}

WordNumber numberAfter(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    const NumberText number = readNumberText(line, letterAt, spaces);
    return WordNumber{number.value(), number.length};
}

} // namespace tools
