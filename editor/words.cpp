#include "words.h"

#include "bytescan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarc {

namespace {

constexpr bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// The bytes that open a parameter or an expression.
constexpr bool opens(char c)
{
    return c == '[' || c == '<' || c == '#';
}

// The first byte at or after `from` and before `limit` that opens a parameter or an expression;
// `limit` when none does. Sixteen bytes are looked at at once.
qsizetype firstOpening(const char *data, qsizetype from, qsizetype limit)
{
    return firstOf<3>(data, from, limit, {'[', '<', '#'});
}

// The letters among the 64 bytes from data[from] (bit k for byte from + k), none at or after
// `end`; `size` bytes can be read at `data`.
std::uint64_t letterBits(const char *data, qsizetype from, qsizetype end, qsizetype size)
{
    const qsizetype count = std::min<qsizetype>(end - from, 64);
    std::uint64_t bits = 0;
#if defined(__SSE2__)
    if (size >= 16) {
        for (qsizetype k = 0; k < count; k += 16) {
            // The last sixteen bytes of the line, when fewer follow, the bytes before from + k dropped.
            const qsizetype at = std::min(from + k, size - 16);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
            const __m128i x = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
            const auto mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(25)), x)));
            bits |= std::uint64_t(mask >> (from + k - at)) << k;
        }
        return count >= 64 ? bits : bits & ((std::uint64_t(1) << count) - 1);
    }
#endif
    for (qsizetype k = 0; k < count; ++k)
        bits |= std::uint64_t(isLetter(data[from + k])) << k;
    return bits;
}

// The end of a parameter or expression that opens at `i`, or -1 when none opens there.
qsizetype skipEnd(QByteArrayView line, qsizetype i, SkipSpan::Kind &kind)
{
    const qsizetype n = line.size();
    const char c = line[i];
    if (c == '[') {
        kind = SkipSpan::Kind::Expression;
        int depth = 0;
        for (qsizetype j = i; j < n; ++j) {
            if (line[j] == '[')
                ++depth;
            else if (line[j] == ']' && --depth == 0)
                return j + 1;
        }
        return n;
    }
    if (c == '<') {
        kind = SkipSpan::Kind::Parameter;
        const qsizetype close = line.sliced(i).indexOf('>');
        return close < 0 ? n : i + close + 1;
    }
    if (c == '#') {
        kind = SkipSpan::Kind::Parameter;
        qsizetype j = i + 1;
        if (j < n && line[j] == '<') {
            const qsizetype close = line.sliced(j).indexOf('>');
            return close < 0 ? n : j + close + 1;
        }
        while (j < n && isDigit(line[j]))
            ++j;
        return j;
    }
    return -1;
}

// The value of a number text of more than 15 digits (a sign, digits, at most one point, and the
// spaces that may stand inside it): too large a number reads as infinity, too small a one as 0.
double longNumber(const char *from, const char *to)
{
    std::string text;
    text.reserve(std::size_t(to - from));
    bool whole = true;        // still before the point
    bool wholeDigits = false; // a digit other than a leading 0 before the point
    for (const char *p = from; p < to; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '+')
            continue;
        if (*p == '.')
            whole = false;
        else if (whole && *p >= '1' && *p <= '9')
            wholeDigits = true;
        text.push_back(*p);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        value = wholeDigits ? std::numeric_limits<double>::infinity() : 0.0;
        if (!text.empty() && text.front() == '-')
            value = -value;
    }
    return value;
}

// The number that starts at data[from], before `limit`: an optional sign, then digits with at most
// one point, with spaces and tabs inside when `spaces`. Its end (one past its last sign, digit or
// point) and its value.
struct NumberText
{
    qsizetype end = 0;
    int digits = 0;
    double value = 0.0;
};

Q_ALWAYS_INLINE NumberText readNumber(const char *data, qsizetype from, qsizetype limit, bool spaces)
{
    NumberText number;
    qsizetype j = from;
    bool negative = false;
    if (j < limit && (data[j] == '+' || data[j] == '-'))
        negative = data[j++] == '-';
    // Up to 15 digits make a whole number a double holds exactly, and one division by an exact
    // power of ten then rounds as a full reading of the text does.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Most numbers are fewer than eight digits, perhaps a point and fewer than eight more: their
    // runs are read eight bytes at once. Any other number, and one that a space may go on, is read
    // a byte at a time below.
    if (limit >= 8 && j < limit) {
        const quint64 wholeBytes = digits::bytesBefore(data, j, limit);
        const int wholeCount = digits::digitCount(wholeBytes);
        qsizetype end = j + wholeCount;
        quint64 partBytes = 0;
        int partCount = 0;
        const bool point = wholeCount < 8 && end < limit && data[end] == '.';
        if (point) {
            ++end;
            if (end < limit) {
                partBytes = digits::bytesBefore(data, end, limit);
                partCount = digits::digitCount(partBytes);
                end += partCount;
            }
        }
        // With spaces inside numbers, the number goes on past spaces only to a digit or its point.
        bool goesOn = false;
        if (spaces && end < limit && (data[end] == ' ' || data[end] == '\t')) {
            qsizetype k = end + 1;
            while (k < limit && (data[k] == ' ' || data[k] == '\t'))
                ++k;
            goesOn = k < limit && (isDigit(data[k]) || (data[k] == '.' && !point));
        }
        if (wholeCount < 8 && partCount < 8 && !goesOn) {
            number.end = end;
            number.digits = wholeCount + partCount;
            if (number.digits > 0) {
                const double magnitude = double(digits::numberDigits(wholeBytes, wholeCount, partBytes, partCount)) / kPowers[partCount];
                number.value = negative ? -magnitude : magnitude;
            }
            return number;
        }
    }
    unsigned long long whole = 0;
    int decimals = 0;
    bool point = false;
    qsizetype last = j; // one past the last number character
    while (j < limit) {
        const char d = data[j];
        if (isDigit(d)) {
            if (++number.digits <= 15) {
                whole = whole * 10 + unsigned(d - '0');
                decimals += point ? 1 : 0;
            }
            last = ++j;
        } else if (d == '.' && !point) {
            point = true;
            last = ++j;
        } else if (spaces && (d == ' ' || d == '\t')) {
            ++j;
        } else {
            break;
        }
    }
    number.end = last;
    if (number.digits == 0)
        return number;
    if (number.digits <= 15) {
        const double magnitude = double(whole) / kPowers[decimals];
        number.value = negative ? -magnitude : magnitude;
    } else {
        number.value = longNumber(data + from, data + last);
    }
    return number;
}

} // namespace

WordReader::WordReader(const CommentRule &rule, bool spaces)
    : m_comments(rule, CommentScanner::Reading::Whole)
    , m_spaces(spaces)
{
}

template <bool kPlacesOnly, typename Visit>
void WordReader::walk(QByteArrayView line, Visit &&visit, char only) const
{
    const qsizetype n = line.size();
    const char *data = line.data();
    // The next comment, found as the walk reaches it: most lines hold none, or one at the end.
    qsizetype from = 0;
    CommentSpan comment;
    bool commentAhead = m_comments.any() && m_comments.next(line, from, comment);
    qsizetype limit = commentAhead ? comment.start : n;
    // The walk at the letter at p, outside every parameter and expression: where it goes on, or
    // -1 when the visit stops it. A letter that is not wanted is passed by, and so is what follows
    // it up to the next letter or opening.
    const auto atLetter = [&](qsizetype p) -> qsizetype {
        const char c = data[p];
        if (p + 1 < limit && isLetter(data[p + 1])) {
            qsizetype i = p + 2; // an alphabetic token
            while (i < limit && isLetter(data[i]))
                ++i;
            return i;
        }
        if (only != 0 && upper(c) != only)
            return p + 1;
        qsizetype j = p + 1;
        if (m_spaces)
            while (j < limit && (data[j] == ' ' || data[j] == '\t'))
                ++j;
        Word w;
        w.letter = upper(c);
        w.letterPos = p;
        if (j < limit && (data[j] == '[' || data[j] == '#'))
            return visit(p, LetterUse::Expression, w) ? j : -1;
        if constexpr (kPlacesOnly) {
            // A digit, or a sign and a digit, make a word whatever follows.
            const qsizetype d = j + (j < limit && (data[j] == '+' || data[j] == '-'));
            if (d < limit && isDigit(data[d]))
                return visit(p, LetterUse::Word, Word{}) ? d + 1 : -1;
        }
        const NumberText number = readNumber(data, j, limit, m_spaces);
        if (number.digits == 0)
            return visit(p, LetterUse::Bare, Word{}) ? j : -1;
        w.numberStart = j;
        w.numberLength = number.end - j;
        w.value = number.value;
        return visit(p, LetterUse::Word, w) ? number.end : -1;
    };
    qsizetype opening = -1; // the first opening at or after i and before the limit (the limit when none)
    qsizetype i = 0;
    while (i < n) {
        if (i >= limit) {
            i = std::max(i, comment.start + comment.length);
            commentAhead = m_comments.next(line, from, comment);
            limit = commentAhead ? comment.start : n;
            opening = -1;
            continue;
        }
        if (only != 0) {
            // A walk for one letter mostly stops within a few bytes: it goes a byte at a time.
            const char c = data[i];
            if (isLetter(c)) {
                if ((i = atLetter(i)) < 0)
                    return;
            } else if (opens(c)) {
                SkipSpan::Kind kind = SkipSpan::Kind::Comment;
                i = std::max(skipEnd(line, i, kind), i + 1);
            } else {
                do
                    ++i;
                while (i < limit && !isLetter(data[i]) && !opens(data[i]));
            }
            continue;
        }
        if (opening < i)
            opening = firstOpening(data, i, limit);
        if (i == opening) {
            SkipSpan::Kind kind = SkipSpan::Kind::Comment;
            i = std::max(skipEnd(line, i, kind), i + 1);
            continue;
        }
        // Up to the opening every byte but the letters is passed by: the walk goes from letter to
        // letter, sixty-four bytes at a time. Neither a number nor an alphabetic token goes past it.
        qsizetype at = i;
        std::uint64_t letters = letterBits(data, at, opening, n);
        for (;;) {
            if (i > at) // those behind the walk go
                letters &= i - at >= 64 ? 0 : ~std::uint64_t(0) << (i - at);
            if (!letters) {
                if (at + 64 >= opening) {
                    i = opening;
                    break;
                }
                at = std::max(at + 64, i);
                letters = letterBits(data, at, opening, n);
                continue;
            }
            if ((i = atLetter(at + std::countr_zero(letters))) < 0)
                return;
        }
    }
}

bool WordReader::holdsLetter(QByteArrayView line, char upperLetter)
{
    return firstOfTwo(line.data(), 0, line.size(), upperLetter, char(upperLetter - 'A' + 'a')) < line.size();
}

QList<Word> WordReader::words(QByteArrayView line) const
{
    QList<Word> out;
    words(line, out);
    return out;
}

void WordReader::words(QByteArrayView line, QList<Word> &out) const
{
    out.clear();
    // The words are handed over a few at a time: an append of each costs more than its word.
    constexpr int kHeld = 16;
    Word held[kHeld];
    int count = 0;
    const auto handOver = [&] {
        const qsizetype at = out.size();
        out.resize(at + count);
        std::copy(held, held + count, out.data() + at);
        count = 0;
    };
    walk<false>(line, [&](qsizetype, LetterUse use, const Word &w) {
        if (use == LetterUse::Word) {
            held[count++] = w;
            if (count == kHeld)
                handOver();
        }
        return true;
    });
    if (count > 0)
        handOver();
}

void WordReader::wordStarts(QByteArrayView line, std::vector<qsizetype> &out) const
{
    walk<true>(line, [&](qsizetype at, LetterUse use, const Word &) {
        if (use == LetterUse::Word)
            out.push_back(at);
        return true;
    });
}

std::optional<Word> WordReader::first(QByteArrayView line, char letter) const
{
    const char want = upper(letter);
    std::optional<Word> found;
    if (!isLetter(want) || !holdsLetter(line, want))
        return found;
    walk<false>(
        line,
        [&](qsizetype, LetterUse use, const Word &w) {
            if (use != LetterUse::Word)
                return true;
            found = w;
            return false;
        },
        want);
    return found;
}

LetterUse WordReader::firstUse(QByteArrayView line, char letter) const
{
    const char want = upper(letter);
    LetterUse found = LetterUse::None;
    if (!isLetter(want) || !holdsLetter(line, want))
        return found;
    walk<false>(
        line,
        [&](qsizetype, LetterUse use, const Word &) {
            found = use;
            return false;
        },
        want);
    return found;
}

FoundWord WordReader::find(QByteArrayView line, char letter) const
{
    const char want = upper(letter);
    FoundWord found;
    if (!isLetter(want) || !holdsLetter(line, want))
        return found;
    walk<false>(
        line,
        [&](qsizetype, LetterUse use, const Word &w) {
            if (use == LetterUse::Bare)
                return true;
            found.use = use;
            found.word = w;
            return false;
        },
        want);
    return found;
}

bool WordReader::mayOpen(QByteArrayView line)
{
    return firstOpening(line.data(), 0, line.size()) < line.size();
}

QList<SkipSpan> WordReader::skipSpans(QByteArrayView line) const
{
    QList<SkipSpan> out;
    skipSpans(line, out);
    return out;
}

void WordReader::skipSpans(QByteArrayView line, QList<SkipSpan> &out) const
{
    out.clear();
    const qsizetype n = line.size();
    const char *data = line.data();
    qsizetype from = 0;
    CommentSpan comment;
    bool commentAhead = m_comments.any() && m_comments.next(line, from, comment);
    qsizetype i = 0;
    while (i < n) {
        if (commentAhead && i >= comment.start) {
            out.append({SkipSpan::Kind::Comment, comment.start, comment.length});
            i = std::max(i, comment.start + comment.length);
            commentAhead = m_comments.next(line, from, comment);
            continue;
        }
        const qsizetype limit = commentAhead ? comment.start : n;
        i = firstOpening(data, i, limit);
        if (i >= limit)
            continue;
        SkipSpan::Kind kind = SkipSpan::Kind::Comment;
        qsizetype end = skipEnd(line, i, kind);
        end = std::min(std::max(end, i + 1), limit);
        out.append({kind, i, end - i});
        i = end;
    }
}

double numberValue(QByteArrayView text)
{
    return readNumber(text.data(), 0, text.size(), true).value;
}

double plainNumberValue(QByteArrayView text)
{
    const NumberText number = readNumber(text.data(), 0, text.size(), true);
    return number.digits == 0 ? 0.0 : longNumber(text.data(), text.data() + number.end);
}

} // namespace tessarc
