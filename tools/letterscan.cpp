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

namespace {

// The kinds of byte the walks tell apart, for 16 bytes at once: bit i of each mask for byte i.
struct BlockMasks
{
    quint32 letter = 0; // A to Z, a to z
    quint32 digit = 0;
    quint32 point = 0;
    quint32 space = 0;
    quint32 sign = 0; // - or +
    quint32 minus = 0;
    quint32 zero = 0;
};

// The letters among the 16 bytes at `p` from the letter `first` (0 for A) to `first` + `span`.
quint32 letterMask(const char *p, int first = 0, int span = 25)
{
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    // 'A'..'Z' and 'a'..'z' fold to 0..25; no other Latin-1 byte folds onto them.
    const __m128i folded = _mm_sub_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8(static_cast<char>('a' + first)));
    return static_cast<quint32>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(folded, _mm_set1_epi8(static_cast<char>(span))), folded)));
#else
    quint32 mask = 0;
    for (int i = 0; i < 16; ++i)
        mask |= quint32(((static_cast<uchar>(p[i]) | 0x20u) - 'a' - unsigned(first)) <= unsigned(span)) << i;
    return mask;
#endif
}

BlockMasks blockMasks(const char *p)
{
    BlockMasks m;
    m.letter = letterMask(p);
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const auto is = [&bytes](char c) {
        return static_cast<quint32>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
    };
    const __m128i digit = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    m.digit = static_cast<quint32>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit)));
    m.point = is('.');
    m.space = is(' ');
    m.minus = is('-');
    m.sign = m.minus | is('+');
    m.zero = is('0');
#else
    for (int i = 0; i < 16; ++i) {
        const auto c = static_cast<uchar>(p[i]);
        m.digit |= quint32(unsigned(c - '0') < 10u) << i;
        m.point |= quint32(c == '.') << i;
        m.space |= quint32(c == ' ') << i;
        m.minus |= quint32(c == '-') << i;
        m.sign |= quint32(c == '-' || c == '+') << i;
        m.zero |= quint32(c == '0') << i;
    }
#endif
    return m;
}

constexpr qsizetype kShortLine = LineMasks::kLongest;

// The full reading, kept out of the walk below, which rarely needs it.
[[gnu::noinline]] double valueInFull(QByteArrayView line, qsizetype letterAt, bool spaces)
{
    return readNumber(line, letterAt, spaces).value();
}

} // namespace

LineMasks::LineMasks(const char *copy, qsizetype size, bool spacesInNumbers)
{
    // 16 bytes at a time; what lies after the line in the copy is cut off the masks.
    for (qsizetype block = 0; block < size; block += 16) {
        const BlockMasks m = blockMasks(copy + block);
        letters |= quint64(m.letter) << block;
        digits |= quint64(m.digit) << block;
        zeros |= quint64(m.zero) << block;
        points |= quint64(m.point) << block;
        spaces |= quint64(m.space) << block;
        signs |= quint64(m.sign) << block;
        minus |= quint64(m.minus) << block;
    }
    const quint64 inLine = (quint64(1) << size) - 1;
    letters &= inLine;
    digits &= inLine;
    zeros &= inLine;
    points &= inLine;
    signs &= inLine;
    minus &= inLine;
    spaces &= spacesInNumbers ? inLine : 0;
    goesOn = spaces & ((digits | points | signs | spaces) >> 1);
}

void LetterScan::read(QByteArrayView line, bool spaces, quint32 letters)
{
    m_line = line;
    m_spaces = spaces;
    m_found = 0;
    const char *data = line.data();
    const qsizetype size = line.size();
    if (!letters)
        return;
    // Only the bytes between the first and the last letter asked for are looked at.
    const int first = std::countr_zero(letters);
    const int span = 31 - std::countl_zero(letters) - first;
    // 16 bytes at a time while they lie inside the line; the last few through a copy.
    char tail[16];
    for (qsizetype block = 0; block < size; block += 16) {
        const char *bytes = data + block;
        quint32 mask;
        if (size - block >= 16) {
            mask = letterMask(bytes, first, span);
        } else {
            std::memcpy(tail, bytes, static_cast<std::size_t>(size - block));
            mask = letterMask(tail, first, span) & ((quint32(1) << (size - block)) - 1);
        }
        while (mask) {
            const qsizetype at = block + std::countr_zero(mask);
            mask &= mask - 1;
            const unsigned folded = (static_cast<uchar>(data[at]) | 0x20u) - 'a';
            const quint32 bit = quint32(1) << folded;
            if (!(letters & bit) || (m_found & bit))
                continue;
            m_found |= bit;
            m_position[folded] = at;
            if (m_found == letters)
                return;
        }
    }
}

NumberText LetterScan::number(int index) const
{
    return readNumber(m_line, position(index), m_spaces);
}

ExtentScan::ExtentScan(bool spaces) : m_spaces(spaces)
{
    m_safe.fill(-1);
}

void ExtentScan::widen(int index, double value)
{
    LetterExtent &extent = m_extents[static_cast<std::size_t>(index)];
    if (!extent.seen) {
        extent = {true, value, value};
    } else if (value < extent.min) {
        extent.min = value;
    } else if (value > extent.max) {
        extent.max = value;
    } else {
        return;
    }
    // An extent only grows, so the digits a value may safely have only grow too. A positive value
    // of d whole digits lies in [0, 10^d]; a negative one in [-10^d, 0].
    qint8 &positive = m_safe[static_cast<std::size_t>(index)];
    qint8 &negative = m_safe[static_cast<std::size_t>(index + 26)];
    if (extent.min <= 0.0) {
        while (positive < 7 && kPowers[positive + 1] <= extent.max)
            ++positive;
    }
    if (extent.max >= 0.0) {
        while (negative < 7 && -kPowers[negative + 1] >= extent.min)
            ++negative;
    }
}

void ExtentScan::addLongLine(QByteArrayView line)
{
    m_longLines.read(line, m_spaces);
    for (quint32 found = m_longLines.found(); found; found &= found - 1) {
        const int index = std::countr_zero(found);
        widen(index, valueInFull(line, m_longLines.position(index), m_spaces));
    }
}

void ExtentScan::addLine(QByteArrayView line)
{
    const qsizetype size = line.size();
    if (size > kShortLine) {
        addLongLine(line); // a long comment, mostly
        return;
    }
    char *data = m_copy.data();
    std::memcpy(data, line.data(), static_cast<std::size_t>(size));
    const LineMasks masks(data, size, m_spaces);
    quint64 letters = masks.letters;
    const quint64 digitBits = masks.digits;
    const quint64 pointBits = masks.points;
    const quint64 spaceBits = masks.spaces;
    const quint64 signBits = masks.signs;
    const quint64 minusBits = masks.minus;
    // A space that may lead a number on is read in full, and so is a space right where a number
    // starts.
    const quint64 goesOn = masks.goesOn;

    quint32 found = 0;
    for (; letters; letters &= letters - 1) {
        const int at = std::countr_zero(letters);
        const int index = static_cast<int>((static_cast<uchar>(data[at]) | 0x20u) - 'a');
        const quint32 bit = quint32(1) << index;
        if (found & bit)
            continue;
        found |= bit;
        // The number's shape: a sign, a run of digits from `start`, and the byte after the run.
        const int start = at + 1 + static_cast<int>((signBits >> (at + 1)) & 1);
        const int digits = std::countr_zero(~(digitBits >> start));
        const int after = start + digits;
        const bool negative = (minusBits >> (at + 1)) & 1;
        if ((digits >= 8) | ((goesOn >> after) & 1) | ((spaceBits >> start) & 1)) {
            widen(index, valueInFull(line, at, m_spaces));
            continue;
        }
        if (digits <= m_safe[static_cast<std::size_t>(index + (negative ? 26 : 0))])
            continue;
        quint64 word = 0;
        std::memcpy(&word, data + start, 8);
        const double whole = static_cast<double>(digitsValue(word, digits));
        if ((pointBits >> after) & 1) {
            // Decimals follow: the value lies within 1 of the whole digits' value (the rounding of
            // a long text included).
            const LetterExtent &extent = m_extents[static_cast<std::size_t>(index)];
            const double low = negative ? -(whole + 1.0) : whole;
            const double high = negative ? -whole : whole + 1.0;
            if (extent.seen & (low >= extent.min) & (high <= extent.max))
                continue;
            widen(index, valueInFull(line, at, m_spaces));
        } else {
            widen(index, withSign(whole, negative && digits > 0));
        }
    }
}

} // namespace tools
