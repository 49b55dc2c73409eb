#include "programcompare.h"

#include "bytescan.h"
#include "controlerror.h"
#include "linestore.h"
#include "programfolder.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace compare {

namespace {

enum class TokenKind : quint8 { Word, Comment, Other };

struct Token
{
    TokenKind kind = TokenKind::Other;
    qsizetype start = 0;
    qsizetype length = 0;
    char letter = 0; // a word's letter, as it counts under the rules
    double value = 0.0;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// The text of a token as it counts: spaces left out and letters in one case, as the rules say.
void appendCounted(QByteArray &out, QByteArrayView text, const Rules &rules)
{
    for (const char c : text) {
        if (rules.ignoreSpaces && isSpace(c))
            continue;
        out.append(rules.ignoreCase && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
}

bool mayHoldSpans(QByteArrayView line, const Rules &rules)
{
    for (const char c : line) {
        if (c == '#' || c == '[' || c == '<')
            return true;
        if (!rules.comments.startComment.isEmpty() && c == rules.comments.startComment.at(0).toLatin1())
            return true;
        if (!rules.comments.lineComment.isEmpty() && c == rules.comments.lineComment.at(0).toLatin1())
            return true;
    }
    return false;
}

// The line's tokens in order: its words, its comments, parameters and expressions, and the runs of
// other bytes between them (spaces end a run when they do not count). N words and comments are
// left out when they do not count.
class Tokenizer
{
public:
    Tokenizer(const Rules &rules, const tessarc::WordReader &reader) : m_rules(rules), m_reader(reader) {}

    const std::vector<Token> &tokens(QByteArrayView line)
    {
        m_tokens.clear();
        m_reader.words(line, m_words);
        m_spans.clear();
        if (mayHoldSpans(line, m_rules))
            m_spans = m_reader.skipSpans(line);
        qsizetype at = 0;
        qsizetype w = 0, s = 0;
        while (at < line.size()) {
            const qsizetype nextWord = w < m_words.size() ? m_words[w].letterPos : line.size();
            const qsizetype nextSpan = s < m_spans.size() ? m_spans[s].start : line.size();
            const qsizetype next = std::min(nextWord, nextSpan);
            if (at < next) {
                other(line, at, next);
                at = next;
                continue;
            }
            if (next == nextSpan && s < m_spans.size()) {
                const tessarc::SkipSpan &span = m_spans[s++];
                const bool comment = span.kind == tessarc::SkipSpan::Kind::Comment;
                if (!(comment && m_rules.ignoreComments))
                    m_tokens.push_back({comment ? TokenKind::Comment : TokenKind::Other, span.start, span.length, 0, 0.0});
                at = span.start + span.length;
                // A word the reader found inside a span is not one.
                while (w < m_words.size() && m_words[w].letterPos < at)
                    ++w;
                continue;
            }
            const tessarc::Word &word = m_words[w++];
            const qsizetype end = word.numberStart + word.numberLength;
            if (!(m_rules.ignoreN && word.letter == 'N')) {
                const char letter = m_rules.ignoreCase ? word.letter : line[word.letterPos];
                m_tokens.push_back({TokenKind::Word, word.letterPos, end - word.letterPos, letter, word.value == 0.0 ? 0.0 : word.value});
            }
            at = end;
        }
        return m_tokens;
    }

private:
    void other(QByteArrayView line, qsizetype from, qsizetype to)
    {
        if (!m_rules.ignoreSpaces) {
            m_tokens.push_back({TokenKind::Other, from, to - from, 0, 0.0});
            return;
        }
        qsizetype i = from;
        while (i < to) {
            while (i < to && isSpace(line[i]))
                ++i;
            const qsizetype start = i;
            while (i < to && !isSpace(line[i]))
                ++i;
            if (i > start)
                m_tokens.push_back({TokenKind::Other, start, i - start, 0, 0.0});
        }
    }

    const Rules &m_rules;
    const tessarc::WordReader &m_reader;
    QList<tessarc::Word> m_words;
    QList<tessarc::SkipSpan> m_spans;
    std::vector<Token> m_tokens;
};

// The 128-bit product of two words folded into 64 bits.
Q_ALWAYS_INLINE quint64 fold(quint64 a, quint64 b)
{
    __extension__ typedef unsigned __int128 Wide;
    const Wide r = static_cast<Wide>(a) * b;
    return quint64(r) ^ quint64(r >> 64);
}

// A 64-bit hash of a byte sequence fed a byte (or eight) at a time, the same however it is fed:
// eight bytes make a word, mixed by a folded 128-bit multiply.
class Hasher
{
public:
    void add(char c)
    {
        m_pending |= quint64(quint8(c)) << m_fill;
        m_fill += 8;
        ++m_length;
        if (m_fill == 64) {
            mix(m_pending);
            m_pending = 0;
            m_fill = 0;
        }
    }
    // Eight bytes, the first in the low byte.
    void add8(quint64 bytes)
    {
        if (m_fill == 0) {
            mix(bytes);
        } else {
            mix(m_pending | (bytes << m_fill));
            m_pending = bytes >> (64 - m_fill);
        }
        m_length += 8;
    }
    void add(QByteArrayView bytes)
    {
        const char *p = bytes.data();
        qsizetype left = bytes.size();
        for (; left >= 8; p += 8, left -= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            add8(qFromLittleEndian(word));
        }
        for (; left > 0; --left)
            add(*p++);
    }
    quint64 value() const { return fold(m_h ^ m_pending, kFinal ^ m_length); }

private:
    static constexpr quint64 kMix = 0x9e3779b97f4a7c15ull;
    static constexpr quint64 kFinal = 0xe7037ed1a0b428dbull;
    void mix(quint64 word) { m_h = fold(m_h ^ word, kMix); }

    quint64 m_h = 0x5eed;
    quint64 m_pending = 0;
    int m_fill = 0; // bits in m_pending
    quint64 m_length = 0;
};

// A word's letter and value as the canonical form writes them, in sixteen bytes. A value of at
// most seven digits before its point and seven after it (the zeros that open or end them left
// out) is written as its digits in place around the point: the first eight bytes are the letter
// and then the seven digits before the point, the last one nearest the point; the next eight the
// seven after it and then its sign. Digits a value does not have are written '0', so that
// 0012.50 and 12.5 are written alike without a word of arithmetic: what the one-pass reading takes
// straight from the line's bytes. Any other value of at most 15 significant digits is written as
// the letter under kPackedFollows and its packed key (those digits without the zeros that end
// them, the place of its point and its sign); a value beyond that as the letter under kBitsFollow
// and its bits. No digit is a byte of either mark.
constexpr int kMostDigits = 15;
constexpr int kPlaces = 7; // digits on each side of the point written in place
using tessarc::digits::kHigh;
using tessarc::digits::kOnes;
using tessarc::digits::kTens;
constexpr quint64 kZeros = '0' * kOnes;
constexpr quint64 kPackedFollows = 0xffffffffffffff00ull, kBitsFollow = 0xfefefefefefefe00ull;

struct WordBytes
{
    quint64 whole = 0; // the letter and what stands before the point
    quint64 part = 0;  // what stands after it, and the sign
};

// The key of digits that do not end in a zero after the point.
Q_ALWAYS_INLINE quint64 packedKey(quint64 digits, int decimals, bool negative)
{
    if (digits == 0)
        return 0; // -0 is 0
    return (digits << 5 | quint64(decimals)) << 1 | (negative ? 1 : 0);
}

// The sixteen bytes of a word whose value has `digits` (at most 15) with `decimals` of them after
// the point.
WordBytes wordBytes(char letter, quint64 digits, int decimals, bool negative)
{
    for (; decimals > 0 && digits % 10 == 0; --decimals)
        digits /= 10;
    if (decimals > kPlaces || digits >= kTens[kPlaces] * kTens[decimals])
        return {kPackedFollows | quint8(letter), packedKey(digits, decimals, negative)};
    if (digits == 0)
        negative = false; // -0 is 0
    WordBytes w{kZeros, kZeros};
    for (int k = decimals - 1; k >= 0; --k, digits /= 10)
        w.part += (digits % 10) << (8 * k);
    for (int k = 7; digits != 0; --k, digits /= 10)
        w.whole += (digits % 10) << (8 * k);
    w.whole = (w.whole & ~quint64(0xff)) | quint8(letter);
    if (negative)
        w.part ^= quint64('0' ^ '-') << 56;
    return w;
}

// A word's sixteen bytes in the eight the canonical form writes: their two halves multiplied,
// each first turned by a key no half of a word is (the whole's top byte is a digit or a mark's
// 0xff or 0xfe; the part's top byte is a digit or a sign, its bits 1 to 5 hold at most 15 in a
// packed key, and as a value's bits it would be a NaN), so that no factor is zero and no two
// words' factors trade places.
Q_ALWAYS_INLINE quint64 wordDigest(const WordBytes &w)
{
    return fold(w.whole ^ 0x9d6b2f4ec1a58e37ull, w.part ^ 0x7ff8a5c3e1d2b43eull);
}

WordBytes valueBytes(char letter, double value)
{
    if (value == 0.0)
        return wordBytes(letter, 0, 0, false);
    // The shortest digits that read back as the value: for a value written with at most 15
    // significant digits, those digits (no two such values are one double).
    char text[40];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    const char *p = text;
    const bool negative = *p == '-';
    p += negative ? 1 : 0;
    quint64 digits = 0;
    int count = 0;
    for (; p < written.ptr && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            digits = digits * 10 + quint64(*p - '0');
            ++count;
        }
    }
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), written.ptr, exponent);
    int decimals = count - 1 - exponent;
    for (; decimals < 0 && count <= kMostDigits; ++decimals, ++count)
        digits *= 10;
    if (count > kMostDigits || decimals > kMostDigits) {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        return {kBitsFollow | quint8(letter), bits};
    }
    return wordBytes(letter, digits, decimals, negative);
}

void appendKey(QByteArray &out, quint64 key)
{
    key = qToLittleEndian(key);
    out.append(reinterpret_cast<const char *>(&key), sizeof key);
}

void appendToken(QByteArray &out, QByteArrayView line, const Token &t, const Rules &rules)
{
    switch (t.kind) {
    case TokenKind::Word:
        if (rules.byValue) {
            appendKey(out, wordDigest(valueBytes(t.letter, t.value)));
        } else {
            out.append(t.letter);
            appendCounted(out, line.sliced(t.start + 1, t.length - 1), rules);
        }
        break;
    case TokenKind::Comment:
        out.append('\x1e');
        appendCounted(out, line.sliced(t.start, t.length), rules);
        break;
    case TokenKind::Other:
        out.append('\x1f');
        appendCounted(out, line.sliced(t.start, t.length), rules);
        break;
    }
}

bool sameToken(QByteArrayView a, const Token &x, QByteArrayView b, const Token &y, const Rules &rules)
{
    if (x.kind != y.kind)
        return false;
    if (x.kind == TokenKind::Word && rules.byValue)
        return x.letter == y.letter && std::abs(x.value - y.value) <= rules.tolerance;
    QByteArray p, q;
    appendToken(p, a, x, rules);
    appendToken(q, b, y, rules);
    return p == q;
}

// The pairs of a longest common subsequence of `n` items of one side and `m` of the other, by the
// table of a small dynamic programme.
template <typename Equal>
std::vector<std::pair<qsizetype, qsizetype>> commonPairs(qsizetype n, qsizetype m, Equal equal)
{
    std::vector<quint32> table(static_cast<std::size_t>((n + 1) * (m + 1)), 0);
    const auto at = [&](qsizetype i, qsizetype j) -> quint32 & { return table[static_cast<std::size_t>(i * (m + 1) + j)]; };
    for (qsizetype i = n - 1; i >= 0; --i) {
        for (qsizetype j = m - 1; j >= 0; --j)
            at(i, j) = equal(i, j) ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
    std::vector<std::pair<qsizetype, qsizetype>> pairs;
    qsizetype i = 0, j = 0;
    while (i < n && j < m) {
        if (equal(i, j) && at(i, j) == at(i + 1, j + 1) + 1) {
            pairs.emplace_back(i++, j++);
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
    return pairs;
}

// A range still to align: lines [aLo, aHi) of A against [bLo, bHi) of B (from 0).
struct Range
{
    qint64 aLo, aHi, bLo, bHi;
};

constexpr qint64 kSmallTable = 4'000'000; // cells of a dynamic programme worth filling
constexpr qint64 kResyncWindow = 64;      // lines looked at on each side to agree again
constexpr qint64 kResyncLines = 3;        // lines that must agree to take it as agreeing again

// Aligns two programs by their lines' fingerprints: the common start and end, then the lines found
// once in each (their longest increasing run, as anchors), then each stretch between anchors the
// same way, and the stretches too small for anchors by a dynamic programme.
class Aligner
{
public:
    Aligner(const LargeVector<quint64> &a, const LargeVector<quint64> &b) : m_a(a), m_b(b), m_matchOfA(a.size(), -1) {}

    void run()
    {
        std::vector<Range> stack{{0, static_cast<qint64>(m_a.size()), 0, static_cast<qint64>(m_b.size())}};
        while (!stack.empty()) {
            Range r = stack.back();
            stack.pop_back();
            align(r, stack);
        }
    }
    const LargeVector<qint32> &matchOfA() const { return m_matchOfA; }
    qint64 matches() const { return m_matches; }

private:
    void match(qint64 i, qint64 j)
    {
        m_matchOfA[static_cast<std::size_t>(i)] = static_cast<qint32>(j);
        ++m_matches;
    }

    void align(Range r, std::vector<Range> &stack)
    {
        while (r.aLo < r.aHi && r.bLo < r.bHi && m_a[r.aLo] == m_b[r.bLo])
            match(r.aLo++, r.bLo++);
        while (r.aLo < r.aHi && r.bLo < r.bHi && m_a[r.aHi - 1] == m_b[r.bHi - 1])
            match(--r.aHi, --r.bHi);
        // Walking both while they agree, and past a short difference to where they agree again:
        // what most pairs of revisions need, in one pass.
        while (r.aLo < r.aHi && r.bLo < r.bHi) {
            if (m_a[r.aLo] == m_b[r.bLo]) {
                match(r.aLo++, r.bLo++);
                continue;
            }
            if (!resync(r))
                break;
        }
        const qint64 n = r.aHi - r.aLo, m = r.bHi - r.bLo;
        if (n == 0 || m == 0)
            return;
        if (n * m <= kSmallTable) {
            for (const auto &[i, j] : commonPairs(n, m, [&](qsizetype i, qsizetype j) { return m_a[r.aLo + i] == m_b[r.bLo + j]; }))
                match(r.aLo + i, r.bLo + j);
            return;
        }
        const std::vector<std::pair<qint32, qint32>> anchors = uniqueAnchors(r);
        if (anchors.empty())
            return; // nothing found in common: the stretch is one change
        qint64 aFrom = r.aLo, bFrom = r.bLo;
        for (const auto &[i, j] : anchors) {
            match(i, j);
            if (i > aFrom || j > bFrom)
                stack.push_back({aFrom, i, bFrom, j});
            aFrom = i + 1;
            bFrom = j + 1;
        }
        stack.push_back({aFrom, r.aHi, bFrom, r.bHi});
    }

    // Past a difference at the start of `r`: the lines of the next kResyncWindow on each side
    // aligned by a small dynamic programme, taken up to where kResyncLines lines in a row agree
    // again (or, near the end of either side, all of them). False when they do not agree again
    // that near.
    bool resync(Range &r)
    {
        const qint64 n = std::min(kResyncWindow, r.aHi - r.aLo), m = std::min(kResyncWindow, r.bHi - r.bLo);
        const auto pairs = commonPairs(n, m, [&](qsizetype i, qsizetype j) { return m_a[r.aLo + i] == m_b[r.bLo + j]; });
        std::size_t upTo = pairs.size();
        bool found = false;
        for (std::size_t p = 0; p + kResyncLines <= pairs.size() && !found; ++p) {
            found = true;
            for (qint64 k = 1; k < kResyncLines && found; ++k)
                found = pairs[p + k].first == pairs[p].first + k && pairs[p + k].second == pairs[p].second + k;
            if (found)
                upTo = p;
        }
        const bool nearTheEnd = r.aLo + n == r.aHi || r.bLo + m == r.bHi;
        if (!found && !(nearTheEnd && !pairs.empty()))
            return false;
        for (std::size_t p = 0; p < upTo; ++p)
            match(r.aLo + pairs[p].first, r.bLo + pairs[p].second);
        if (found) {
            r.aLo += pairs[upTo].first;
            r.bLo += pairs[upTo].second;
        } else {
            r.aLo += pairs.back().first + 1;
            r.bLo += pairs.back().second + 1;
        }
        return true;
    }

    // The lines found exactly once on each side of the range, as pairs in the order of A, cut to
    // their longest run increasing in B. Kept lean: sorted copies of the fingerprints, not of lines.
    std::vector<std::pair<qint32, qint32>> uniqueAnchors(const Range &r) const
    {
        // Sorted, then cut to the fingerprints found once, where they stand.
        const auto uniques = [](const LargeVector<quint64> &h, qint64 lo, qint64 hi) {
            LargeVector<quint64> sorted(h.begin() + lo, h.begin() + hi);
            std::sort(sorted.begin(), sorted.end());
            std::size_t kept = 0;
            for (std::size_t i = 0; i < sorted.size();) {
                std::size_t k = i + 1;
                while (k < sorted.size() && sorted[k] == sorted[i])
                    ++k;
                if (k - i == 1)
                    sorted[kept++] = sorted[i];
                i = k;
            }
            sorted.resize(kept);
            return sorted;
        };
        // The fingerprints found once on each side, written over A's (never ahead of what is read).
        LargeVector<quint64> common = uniques(m_a, r.aLo, r.aHi);
        {
            const LargeVector<quint64> b = uniques(m_b, r.bLo, r.bHi);
            common.erase(std::set_intersection(common.begin(), common.end(), b.begin(), b.end(), common.begin()), common.end());
        }
        if (common.empty())
            return {};
        const auto place = [&](quint64 h) -> qint64 {
            const auto it = std::lower_bound(common.begin(), common.end(), h);
            return it != common.end() && *it == h ? it - common.begin() : -1;
        };
        LargeVector<qint32> lineOfB(common.size(), -1);
        for (qint64 j = r.bLo; j < r.bHi; ++j) {
            if (const qint64 k = place(m_b[static_cast<std::size_t>(j)]); k >= 0)
                lineOfB[static_cast<std::size_t>(k)] = static_cast<qint32>(j);
        }
        std::vector<std::pair<qint32, qint32>> pairs; // (line of A, line of B), in the order of A
        pairs.reserve(common.size());
        for (qint64 i = r.aLo; i < r.aHi; ++i) {
            if (const qint64 k = place(m_a[static_cast<std::size_t>(i)]); k >= 0)
                pairs.emplace_back(static_cast<qint32>(i), lineOfB[static_cast<std::size_t>(k)]);
        }
        LargeVector<qint32>().swap(lineOfB);
        LargeVector<quint64>().swap(common);
        // The longest run increasing in B (patience sorting).
        std::vector<qint32> tails; // for each length, the index in `pairs` of the smallest last B
        std::vector<qint32> previous(pairs.size(), -1);
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            const auto pos = std::lower_bound(tails.begin(), tails.end(), pairs[k].second,
                                              [&](qint32 t, qint32 bLine) { return pairs[static_cast<std::size_t>(t)].second < bLine; });
            if (pos != tails.begin())
                previous[k] = *(pos - 1);
            if (pos == tails.end())
                tails.push_back(static_cast<qint32>(k));
            else
                *pos = static_cast<qint32>(k);
        }
        std::vector<std::pair<qint32, qint32>> run(tails.size());
        qint64 k = tails.empty() ? -1 : tails.back();
        for (std::size_t at = run.size(); at > 0 && k >= 0; k = previous[static_cast<std::size_t>(k)])
            run[--at] = pairs[static_cast<std::size_t>(k)];
        return run;
    }

    const LargeVector<quint64> &m_a;
    const LargeVector<quint64> &m_b;
    LargeVector<qint32> m_matchOfA;
    qint64 m_matches = 0;
};

Difference::Kind kindOf(qint64 aCount, qint64 bCount)
{
    return aCount > 0 && bCount > 0 ? Difference::Kind::Changed : aCount > 0 ? Difference::Kind::Removed : Difference::Kind::Inserted;
}

// The differences inside one run of lines that differ by their fingerprints, with the tolerance:
// lines equal within it are taken out, and the rest split around them.
void refine(const Difference &d, LineFeed &a, LineFeed &b, const Rules &rules, QList<Difference> &out)
{
    if (d.kind != Difference::Kind::Changed || rules.tolerance <= 0.0 || !rules.byValue || d.aCount * d.bCount > kSmallTable) {
        out.append(d);
        return;
    }
    const QList<QByteArray> left = a.lines(d.aFirst, d.aCount);
    const QList<QByteArray> right = b.lines(d.bFirst, d.bCount);
    const auto pairs = commonPairs(left.size(), right.size(), [&](qsizetype i, qsizetype j) { return sameLine(left[i], right[j], rules); });
    qsizetype i = 0, j = 0;
    const auto gap = [&](qsizetype toI, qsizetype toJ) {
        if (toI > i || toJ > j) {
            Difference part;
            part.aCount = toI - i;
            part.bCount = toJ - j;
            part.kind = kindOf(part.aCount, part.bCount);
            part.aFirst = d.aFirst + i - (part.aCount == 0 ? 1 : 0);
            part.bFirst = d.bFirst + j - (part.bCount == 0 ? 1 : 0);
            out.append(part);
        }
    };
    for (const auto &[pi, pj] : pairs) {
        gap(pi, pj);
        i = pi + 1;
        j = pj + 1;
    }
    gap(left.size(), right.size());
}

} // namespace

Rules Rules::plain()
{
    Rules r;
    r.ignoreN = r.ignoreSpaces = r.ignoreCase = r.byValue = r.ignoreComments = false;
    r.tolerance = 0.0;
    return r;
}

void TextFeed::each(qint64 first, qint64 count, const Visit &visit)
{
    const qint64 end = std::min<qint64>(first + count, m_lines.size() + 1);
    for (qint64 line = std::max<qint64>(first, 1); line < end; ++line) {
        if (!visit(line, m_lines.at(line - 1))) // at(): read from two threads, never detached
            return;
    }
}

qint64 ProgramFeed::lineCount() const
{
    return m_program.lineCount();
}

namespace {

// Records of a store handed to `visit` as lines; false when `visit` stopped them.
bool visitRecords(tessarc::LineStore &store, qint64 first, qint64 count, const LineFeed::Visit &visit)
{
    struct Stop
    {
    };
    try {
        store.forEachRecord(tessarc::LineNumber(first), count, [&](tessarc::LineNumber n, QByteArrayView text) {
            if (!visit(n.value, text))
                throw Stop();
        });
    } catch (const Stop &) {
        return false;
    }
    return true;
}

class StoreReading : public LineFeed::Reading
{
public:
    StoreReading(LineFeed &feed, const tessarc::Program &program, qint64 first) : Reading(feed, first), m_program(program) {}
    bool next(qint64 count, const LineFeed::Visit &visit) override
    {
        count = std::min(count, m_program.lineCount() - m_next + 1);
        if (count <= 0)
            return true;
        if (!m_store.isOpen())
            m_program.openStore(m_store, m_program.lineCount());
        const qint64 first = m_next;
        m_next += count;
        return visitRecords(m_store, first, count, visit);
    }

private:
    const tessarc::Program &m_program;
    tessarc::LineStore m_store;
};

} // namespace

bool LineFeed::Reading::next(qint64 count, const Visit &visit)
{
    bool going = true;
    m_feed.each(m_next, count, [&](qint64 line, QByteArrayView text) { return going = visit(line, text); });
    m_next += count;
    return going;
}

void ProgramFeed::each(qint64 first, qint64 count, const Visit &visit)
{
    StoreReading(*this, m_program, first).next(count, visit);
}

std::unique_ptr<LineFeed::Reading> ProgramFeed::reading(qint64 first)
{
    return std::make_unique<StoreReading>(*this, m_program, first);
}

QList<QByteArray> ProgramFeed::lines(qint64 first, qint64 count)
{
    return m_program.readLines(tessarc::LineNumber(first), count);
}

namespace {

using tessarc::digits::digitCount;
using tessarc::digits::digitValue;
using tessarc::digits::eightBytes;
using tessarc::digits::numberDigits;

// The first `count` digits of a run read eight bytes at once without the '0's that end them.
Q_ALWAYS_INLINE int trimmedCount(quint64 w, int count)
{
    // A byte is '0' when it is zero after the xor.
    const quint64 x = w ^ ('0' * kOnes);
    const quint64 zero = ~(((x & ~kHigh) + ~kHigh) | x | ~kHigh);
    const quint64 inRun = count == 8 ? kHigh : (quint64(1) << (8 * count)) - 1;
    const quint64 kept = kHigh & inRun & ~zero;
    return kept ? (64 - qCountLeadingZeroBits(kept)) / 8 : 0;
}

#if defined(__SSE2__)

// The bytes of a line of at most kShortLine bytes sorted by what they are, a bit a byte (bit k for
// byte k), read sixteen at a time.
constexpr qsizetype kShortLine = 63; // a bit is left for the end of the line

struct ByteClasses
{
    quint64 letters = 0, digits = 0, spaces = 0, signs = 0, points = 0, others = 0;
};

// Bits 0..k-1, for k up to 63.
Q_ALWAYS_INLINE quint64 belowBit(qsizetype k)
{
    return (quint64(1) << k) - 1;
}

// Bits from..to-1.
Q_ALWAYS_INLINE quint64 bitsBetween(qsizetype from, qsizetype to)
{
    return belowBit(to) & ~belowBit(from);
}

// `padded` holds the line's `n` bytes and at least 16 more, all of them zero.
ByteClasses classify(const char *padded, qsizetype n)
{
    const auto below = [](__m128i v, char limit) { // unsigned v < limit
        return _mm_cmplt_epi8(_mm_xor_si128(v, _mm_set1_epi8(char(0x80))), _mm_set1_epi8(char(limit ^ 0x80)));
    };
    ByteClasses c;
    for (qsizetype at = 0; at < n; at += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(padded + at));
        const __m128i letter = below(_mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a')), 26);
        const __m128i digit = below(_mm_sub_epi8(v, _mm_set1_epi8('0')), 10);
        const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
        const __m128i sign = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('+')), _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
        const __m128i point = _mm_cmpeq_epi8(v, _mm_set1_epi8('.'));
        const __m128i known = _mm_or_si128(_mm_or_si128(letter, digit), _mm_or_si128(_mm_or_si128(space, sign), point));
        const auto bits = [&](__m128i m) { return quint64(quint16(_mm_movemask_epi8(m))) << at; };
        c.letters |= bits(letter);
        c.digits |= bits(digit);
        c.spaces |= bits(space);
        c.signs |= bits(sign);
        c.points |= bits(point);
        c.others |= bits(_mm_xor_si128(known, _mm_set1_epi8(char(0xff))));
    }
    const quint64 inLine = belowBit(n);
    c.others &= inLine;
    return c;
}

// The one-pass reading of a short line made only of words whose numbers are a sign, digits and a
// point with no space inside (at most seven digits on each side of the point), and spaces between
// them: what CAM output is, read a word at a time from the bits of its bytes, each word's sixteen
// bytes taken from the line's as they stand. False, and `print` untouched, for any other line (the
// byte at a time reading takes it). With spaces not counting and numbers by value; `counted` and
// `ignoreN` as the rules make them.
bool shortLinePrint(QByteArrayView line, const std::array<char, 256> &counted, bool ignoreN, quint64 &print)
{
    const qsizetype n = line.size();
    // The line with eight bytes before it and sixteen after, all of them zero.
    alignas(16) char bytes[8 + kShortLine + 16] = {};
    char *const padded = bytes + 8;
    std::memcpy(padded, line.data(), static_cast<std::size_t>(n));
    const ByteClasses c = classify(padded, n);
    // Words only: a letter, then at once a sign or a digit or a point; a sign nowhere else; digits
    // and points running on until a space, the next letter or the end of the line; spaces before
    // the first letter.
    const quint64 numeric = c.digits | c.signs | c.points;
    if (c.others != 0 || (c.letters & (c.letters >> 1)) != 0 || (numeric & (c.letters - 1) & ~c.letters) != 0
        || ((c.letters << 1) & ~numeric) != 0 || (c.signs & ~(c.letters << 1)) != 0 || ((c.spaces << 1) & numeric) != 0)
        return false;
    const quint64 ends = c.spaces | c.letters | quint64(1) << n;
    Hasher h;
    for (quint64 letters = c.letters; letters != 0; letters &= letters - 1) {
        const qsizetype i = qCountTrailingZeroBits(letters);
        const qsizetype end = qCountTrailingZeroBits(ends & ~belowBit(i + 1));
        const quint64 number = bitsBetween(i + 1, end), points = c.points & number;
        if ((points & (points - 1)) != 0 || (c.digits & number) == 0)
            return false; // two points, or no digit
        const bool signed_ = (c.signs >> (i + 1) & 1) != 0;
        const qsizetype from = i + 1 + (signed_ ? 1 : 0);
        const qsizetype point = points != 0 ? qCountTrailingZeroBits(points) : end;
        const int whole = static_cast<int>(point - from);
        const int part = points != 0 ? static_cast<int>(end - point - 1) : 0;
        if (ignoreN && (line[i] == 'N' || line[i] == 'n'))
            continue;
        if (whole > kPlaces || part > kPlaces)
            return false;
        // The eight bytes before the point and the eight after it, '0' where the number has none.
        const quint64 before = ~quint64(0) >> (8 * whole), after = ~quint64(0) << (8 * part);
        WordBytes w{(eightBytes(padded + point - 8) & ~before) | (kZeros & before), (eightBytes(padded + point + 1) & ~after) | (kZeros & after)};
        w.whole = (w.whole & ~quint64(0xff)) | quint8(counted[static_cast<quint8>(line[i])]);
        if (signed_ && line[i + 1] == '-' && (w.whole >> 8 != kZeros >> 8 || w.part != kZeros)) // -0 is 0
            w.part ^= quint64('0' ^ '-') << 56;
        h.add8(wordDigest(w));
    }
    print = h.value();
    return true;
}

#endif

} // namespace

// What each byte is to the one-pass reading.
struct LinePrint::Tables
{
    enum Class : quint8 { Other, Letter, Digit, Space, Sign, Point, Refused };
    std::array<quint8, 256> kind{};
    std::array<char, 256> counted{}; // the byte as it counts: in upper case when case does not count
    bool none = false;               // no line is read in one pass
};


class LinePrint::Full
{
public:
    explicit Full(const Rules &rules) : m_reader(rules.comments, rules.ignoreSpaces), m_tokenizer(rules, m_reader) {}
    const tessarc::WordReader m_reader;
    Tokenizer m_tokenizer;
    QByteArray m_canon;
};

LinePrint::LinePrint(const Rules &rules)
    : m_rules(rules)
    , m_full(std::make_unique<Full>(m_rules))
{
    if (rules.isPlain())
        return;
    auto tables = std::make_unique<Tables>();
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        tables->counted[b] = rules.ignoreCase && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        quint8 &kind = tables->kind[b];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            kind = Tables::Letter;
        else if (c >= '0' && c <= '9')
            kind = Tables::Digit;
        else if (isSpace(c))
            kind = Tables::Space;
        else if (c == '+' || c == '-')
            kind = Tables::Sign;
        else if (c == '.')
            kind = Tables::Point;
        else if (c == '#' || c == '[' || c == '<')
            kind = Tables::Refused; // a parameter or an expression
    }
    // Where a comment could open (a text outside Latin-1 opens none, and refusing byte 0 for it
    // costs nothing). Comments that open with a byte of a word or a space: every line by its tokens.
    for (const QString &text : {rules.comments.startComment, rules.comments.lineComment}) {
        if (text.isEmpty())
            continue;
        quint8 &kind = tables->kind[static_cast<quint8>(text.at(0).toLatin1())];
        tables->none = tables->none || (kind != Tables::Other && kind != Tables::Refused);
        kind = Tables::Refused;
    }
    m_tables = std::move(tables);
}

LinePrint::~LinePrint() = default;

quint64 LinePrint::operator()(QByteArrayView line)
{
    quint64 print;
    return quick(line, print) ? print : full(line);
}

bool LinePrint::quick(QByteArrayView line, quint64 &print) const
{
    Hasher h;
    if (!m_tables) {
        h.add(line);
        print = h.value();
        return true;
    }
    if (m_tables->none)
        return false;
#if defined(__SSE2__)
    if (m_rules.ignoreSpaces && m_rules.byValue && line.size() <= kShortLine && shortLinePrint(line, m_tables->counted, m_rules.ignoreN, print))
        return true;
#endif
    // The words as the word reader finds them on a line without comments, parameters and
    // expressions, and the runs of other bytes between them, written as the tokens would be.
    const auto &kind = m_tables->kind;
    const auto &counted = m_tables->counted;
    const bool spaces = m_rules.ignoreSpaces;
    const char *p = line.data();
    const qsizetype n = line.size();
    const auto kindAt = [&](qsizetype at) { return kind[static_cast<quint8>(p[at])]; };
    bool open = false; // a run of other bytes is open
    qsizetype i = 0;
    while (i < n) {
        const quint8 k = kindAt(i);
        if (k == Tables::Letter) {
            if (i + 1 < n && kindAt(i + 1) == Tables::Letter) {
                // An alphabetic token: other bytes, all of it.
                if (!open) {
                    h.add('\x1f');
                    open = true;
                }
                for (; i < n && kindAt(i) == Tables::Letter; ++i)
                    h.add(counted[static_cast<quint8>(p[i])]);
                continue;
            }
            qsizetype j = i + 1;
            if (spaces)
                while (j < n && kindAt(j) == Tables::Space)
                    ++j;
            const bool signed_ = j < n && kindAt(j) == Tables::Sign;
            const bool negative = signed_ && p[j] == '-';
            j += signed_ ? 1 : 0;
            qsizetype last = j;
            int digits = 0, decimals = 0;
            bool point = false;
            quint64 whole = 0;
            // Most numbers are a run of digits, a point and another run, with eight bytes of the
            // line after each run's start: read a run at once. Where the number may go on past
            // where that stops (a space inside it, a run of eight), it is read a byte at a time.
            bool read = false;
            qsizetype resume = -1; // where reading goes on after the word, past the spaces already read
            if (j + 8 <= n) {
                const quint64 wholeBytes = eightBytes(p + j);
                const int wholeCount = digitCount(wholeBytes);
                qsizetype at = j + wholeCount;
                read = wholeCount < 8;
                if (read && at < n && p[at] == '.') {
                    // The decimals without the zeros that end them, as the key writes them.
                    const quint64 partBytes = at + 9 <= n ? eightBytes(p + at + 1) : 0;
                    const int all = at + 9 <= n ? digitCount(partBytes) : 8;
                    read = all < 8;
                    point = true;
                    decimals = read ? trimmedCount(partBytes, all) : 0;
                    whole = read ? numberDigits(wholeBytes, wholeCount, partBytes, decimals) : 0;
                    digits = wholeCount + all;
                    at += 1 + all;
                    last = at;
                } else {
                    whole = wholeCount > 0 ? digitValue(wholeBytes, wholeCount) : 0;
                    digits = wholeCount;
                    if (wholeCount > 0)
                        last = at;
                }
                if (read && spaces) {
                    // Spaces end the number unless a digit, or its first point, comes after them.
                    qsizetype after = at;
                    while (after < n && kindAt(after) == Tables::Space)
                        ++after;
                    read = after == n || !(kindAt(after) == Tables::Digit || (kindAt(after) == Tables::Point && !point));
                    resume = after;
                }
                if (read) {
                    j = at;
                } else {
                    last = j;
                    digits = decimals = 0;
                    point = false;
                    whole = 0;
                }
            }
            while (!read && j < n) {
                const unsigned digit = static_cast<unsigned char>(p[j]) - unsigned('0');
                if (digit < 10) {
                    ++digits;
                    whole = whole * 10 + digit;
                    decimals += point ? 1 : 0;
                    last = ++j;
                    continue;
                }
                const quint8 d = kindAt(j);
                if (d == Tables::Point && !point) {
                    point = true;
                    last = ++j;
                } else if (spaces && d == Tables::Space) {
                    ++j;
                } else {
                    break;
                }
            }
            if (digits > kMostDigits)
                return false; // read by the library's reader
            if (digits > 0) {
                open = false;
                const char letter = p[i];
                if (!(m_rules.ignoreN && (letter == 'N' || letter == 'n'))) {
                    if (m_rules.byValue) {
                        h.add8(wordDigest(wordBytes(counted[static_cast<quint8>(letter)], whole, decimals, negative)));
                    } else {
                        h.add(counted[static_cast<quint8>(letter)]);
                        for (qsizetype q = i + 1; q < last; ++q) {
                            if (!(spaces && kindAt(q) == Tables::Space))
                                h.add(counted[static_cast<quint8>(p[q])]);
                        }
                    }
                }
                i = read && resume >= 0 ? resume : last;
                continue;
            }
            // A bare letter: an other byte.
        } else if (k == Tables::Space && spaces) {
            open = false;
            ++i;
            continue;
        } else if (k == Tables::Refused) {
            return false;
        }
        if (!open) {
            h.add('\x1f');
            open = true;
        }
        h.add(counted[static_cast<quint8>(p[i])]);
        ++i;
    }
    print = h.value();
    return true;
}

quint64 LinePrint::full(QByteArrayView line)
{
    Hasher h;
    if (m_rules.isPlain()) {
        h.add(line);
        return h.value();
    }
    m_full->m_canon.clear();
    for (const Token &t : m_full->m_tokenizer.tokens(line))
        appendToken(m_full->m_canon, line, t, m_rules);
    h.add(m_full->m_canon);
    return h.value();
}

bool sameLine(QByteArrayView a, QByteArrayView b, const Rules &rules)
{
    if (rules.isPlain())
        return a == b;
    const tessarc::WordReader reader(rules.comments, rules.ignoreSpaces);
    Tokenizer left(rules, reader), right(rules, reader);
    const std::vector<Token> &x = left.tokens(a);
    const std::vector<Token> &y = right.tokens(b);
    if (x.size() != y.size())
        return false;
    for (std::size_t k = 0; k < x.size(); ++k) {
        if (!sameToken(a, x[k], b, y[k], rules))
            return false;
    }
    return true;
}

ChangedWords changedWords(QByteArrayView a, QByteArrayView b, const Rules &rules)
{
    ChangedWords out;
    const Rules &counted = rules;
    const tessarc::WordReader reader(counted.comments, counted.ignoreSpaces);
    Tokenizer left(counted, reader), right(counted, reader);
    const std::vector<Token> x = left.tokens(a);
    const std::vector<Token> y = right.tokens(b);
    const auto pairs = commonPairs(static_cast<qsizetype>(x.size()), static_cast<qsizetype>(y.size()), [&](qsizetype i, qsizetype j) {
        return rules.isPlain() ? a.sliced(x[i].start, x[i].length) == b.sliced(y[j].start, y[j].length)
                               : sameToken(a, x[i], b, y[j], counted);
    });
    std::vector<bool> keptX(x.size(), false), keptY(y.size(), false);
    for (const auto &[i, j] : pairs) {
        keptX[static_cast<std::size_t>(i)] = true;
        keptY[static_cast<std::size_t>(j)] = true;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!keptX[i])
            out.a.append({x[i].start, x[i].length});
    }
    for (std::size_t j = 0; j < y.size(); ++j) {
        if (!keptY[j])
            out.b.append({y[j].start, y[j].length});
    }
    return out;
}

namespace {

constexpr qint64 kChunk = 1024;        // lines read at a time
constexpr int kChunksKept = 16;        // chunks of A kept to find B's lines in
constexpr qint64 kReadAhead = 2 * kChunk; // lines of A read past where B's next line should be
constexpr qint64 kNear = 4;            // lines either side of where a line should be, looked at after a difference
constexpr qint64 kStreak = 32;         // lines in a row not found near before all kept lines are looked at

// One thread's part of linePrints(): lines [aLo, aHi) of A and [bLo, bHi) of B (from 0), both read
// a short stretch at a time (what was read is still in the processor's cache when it is used). A's
// lines are kept for a while; each of B's lines is looked for at the line of A where it should be
// (what stands between them followed as differences come), and read for its fingerprint only when
// A has no such line there.
class PartPrints
{
public:
    PartPrints(LineFeed &a, LineFeed &b, const Rules &rules, qint64 aLo, qint64 aHi, qint64 bLo, qint64 bHi, quint64 *aOut, quint64 *bOut,
               std::atomic<qint64> &done, const std::atomic<bool> &stop)
        : m_a(a.reading(aLo + 1)), m_b(b.reading(bLo + 1)), m_print(rules), m_aLo(aLo), m_aHi(aHi), m_bHi(bHi), m_aOut(aOut), m_bOut(bOut)
        , m_done(done), m_stop(stop), m_aRead(aLo), m_keptFrom(aLo), m_bRead(bLo), m_shift(aLo - bLo)
    {
    }

    // Ends early when told to stop.
    void run()
    {
        qint64 streak = 0, searchAt = kStreak;
        const LineFeed::Visit visit = [&](qint64 line, QByteArrayView text) {
            const qint64 j = line - 1;
            if (found(j, text)) {
                streak = 0;
                searchAt = kStreak;
            } else if (++streak >= searchAt && search(j, text)) {
                streak = 0;
                searchAt = kStreak;
            } else {
                if (streak >= searchAt)
                    searchAt *= 2; // all kept lines looked at in vain: less often while it lasts
                m_bOut[j] = m_print(text);
            }
            ++m_visited;
            return true;
        };
        while (m_bRead < m_bHi) {
            const qint64 count = std::min(kChunk, m_bHi - m_bRead);
            while (m_aRead < m_aHi && m_aRead < m_bRead + count + m_shift + kReadAhead) {
                if (!readChunk())
                    return;
            }
            const qint64 before = m_visited;
            m_b->next(count, visit);
            wholly(m_bRead, count, m_visited - before);
            m_bRead += count;
            if (!tell(count))
                return;
        }
        while (m_aRead < m_aHi) {
            if (!readChunk())
                return;
        }
    }

private:
    struct Chunk
    {
        qint64 first = -1; // its first line (from 0)
        std::vector<char> bytes;
        std::vector<quint32> starts; // where each line begins in `bytes`, and where the last ends
    };

    // A feed that ends before its line count is a failure, not a shorter program.
    static void wholly(qint64 first, qint64 count, qint64 read)
    {
        if (read != count)
            throw tessarc::ControlError(tessarc::ControlError::DeviceIoError,
                                        QStringLiteral("Device I/O error: lines %1 to %2 could not be read").arg(first + 1).arg(first + count));
    }

    bool tell(qint64 lines)
    {
        m_done.fetch_add(lines, std::memory_order_relaxed);
        return !m_stop.load(std::memory_order_relaxed);
    }

    // Reads A's next chunk, with each line's fingerprint; false when stopped.
    bool readChunk()
    {
        Chunk &c = m_chunks[static_cast<std::size_t>(((m_aRead - m_aLo) / kChunk) % kChunksKept)];
        const qint64 count = std::min(kChunk, m_aHi - m_aRead);
        c.first = m_aRead;
        c.bytes.clear();
        c.starts.clear();
        m_a->next(count, [&](qint64 line, QByteArrayView text) {
            c.starts.push_back(static_cast<quint32>(c.bytes.size()));
            c.bytes.insert(c.bytes.end(), text.begin(), text.end());
            m_aOut[line - 1] = m_print(text);
            return true;
        });
        c.starts.push_back(static_cast<quint32>(c.bytes.size()));
        wholly(c.first, count, static_cast<qint64>(c.starts.size()) - 1);
        m_aRead += count;
        m_keptFrom = std::max(m_aLo, c.first - (kChunksKept - 1) * kChunk);
        return tell(count);
    }

    bool sameAsA(qint64 i, QByteArrayView text) const
    {
        if (i < m_keptFrom || i >= m_aRead)
            return false;
        const Chunk &c = m_chunks[static_cast<std::size_t>(((i - m_aLo) / kChunk) % kChunksKept)];
        const std::size_t at = static_cast<std::size_t>(i - c.first);
        const quint32 start = c.starts[at], end = c.starts[at + 1];
        return end - start == text.size() && std::memcmp(c.bytes.data() + start, text.data(), static_cast<std::size_t>(text.size())) == 0;
    }

    // B's line j as A's line i: its fingerprint taken over, and what stands between them kept.
    bool take(qint64 j, qint64 i)
    {
        m_bOut[j] = m_aOut[i];
        m_shift = i - j;
        return true;
    }

    // B's line j found in A where it should be, or a few lines either side.
    bool found(qint64 j, QByteArrayView text)
    {
        const qint64 at = j + m_shift;
        if (sameAsA(at, text))
            return take(j, at);
        for (qint64 d = 1; d <= kNear; ++d) {
            if (sameAsA(at + d, text))
                return take(j, at + d);
            if (sameAsA(at - d, text))
                return take(j, at - d);
        }
        return false;
    }

    // B's line j looked for in every kept line of A, the one nearest to where it should be taken.
    bool search(qint64 j, QByteArrayView text)
    {
        const qint64 at = j + m_shift;
        qint64 best = -1;
        for (qint64 i = m_keptFrom; i < m_aRead; ++i) {
            if (sameAsA(i, text) && (best < 0 || std::abs(i - at) < std::abs(best - at)))
                best = i;
        }
        return best >= 0 && take(j, best);
    }

    const std::unique_ptr<LineFeed::Reading> m_a;
    const std::unique_ptr<LineFeed::Reading> m_b;
    LinePrint m_print;
    const qint64 m_aLo, m_aHi, m_bHi;
    quint64 *const m_aOut;
    quint64 *const m_bOut;
    std::atomic<qint64> &m_done;
    const std::atomic<bool> &m_stop;
    Chunk m_chunks[kChunksKept];
    qint64 m_aRead; // A's lines before this one are read
    qint64 m_keptFrom; // and kept from this one on
    qint64 m_bRead; // and B's
    qint64 m_shift; // B's line j stands where A's line j + m_shift does
    qint64 m_visited = 0; // B's lines handed to the visit
};

} // namespace

Prints linePrints(LineFeed &a, LineFeed &b, const Rules &rules, const std::function<bool(qint64, qint64)> &progress)
{
    Prints prints;
    const qint64 n = a.lineCount(), m = b.lineCount();
    prints.a.resize(static_cast<std::size_t>(n));
    prints.b.resize(static_cast<std::size_t>(m));
    // Two parts, each the same share of both programs: the first halves, and the rest.
    std::atomic<bool> stop{false};
    std::atomic<qint64> done{0};
    std::exception_ptr failed[2];
    int running = 2; // under `finishing`
    std::mutex finishing;
    std::condition_variable finished;
    std::thread threads[2];
    for (int part = 0; part < 2; ++part) {
        const qint64 aLo = part == 0 ? 0 : n / 2, aHi = part == 0 ? n / 2 : n;
        const qint64 bLo = part == 0 ? 0 : m / 2, bHi = part == 0 ? m / 2 : m;
        threads[part] = std::thread([&, part, aLo, aHi, bLo, bHi] {
            try {
                PartPrints(a, b, rules, aLo, aHi, bLo, bHi, prints.a.data(), prints.b.data(), done, stop).run();
            } catch (...) {
                failed[part] = std::current_exception();
                stop = true;
            }
            const std::lock_guard lock(finishing);
            --running;
            finished.notify_one();
        });
    }
    // The caller's progress is told from its own thread only, every 15 ms and not after the end.
    for (std::unique_lock lock(finishing); !finished.wait_for(lock, std::chrono::milliseconds(15), [&] { return running == 0; });) {
        lock.unlock();
        if (progress && !progress(done, n + m))
            stop = true;
        lock.lock();
    }
    for (std::thread &t : threads)
        t.join();
    for (const std::exception_ptr &f : failed) {
        if (f)
            std::rethrow_exception(f);
    }
    prints.stopped = stop;
    if (prints.stopped) {
        prints.a.clear();
        prints.b.clear();
    }
    return prints;
}

Result comparePrograms(LineFeed &a, LineFeed &b, const Rules &rules, const std::function<bool(qint64, qint64)> &progress)
{
    Result result;
    result.aLines = a.lineCount();
    result.bLines = b.lineCount();
    Prints prints = linePrints(a, b, rules, progress);
    if (prints.stopped) {
        result.cancelled = true;
        return result;
    }
    const LargeVector<quint64> &left = prints.a, &right = prints.b;

    Aligner aligner(left, right);
    aligner.run();
    result.nothingInCommon = aligner.matches() == 0 && !left.empty() && !right.empty();

    // The runs between matched lines.
    const LargeVector<qint32> &matchOfA = aligner.matchOfA();
    qint64 i = 0, j = 0; // the next unmatched line of each, from 0
    const qint64 n = static_cast<qint64>(left.size()), m = static_cast<qint64>(right.size());
    for (qint64 k = 0; k <= n; ++k) {
        const qint64 partner = k < n ? matchOfA[static_cast<std::size_t>(k)] : m;
        if (k < n && partner < 0)
            continue;
        const qint64 aCount = k - i, bCount = partner - j;
        if (aCount > 0 || bCount > 0) {
            Difference d;
            d.kind = kindOf(aCount, bCount);
            d.aCount = aCount;
            d.bCount = bCount;
            d.aFirst = aCount > 0 ? i + 1 : i;
            d.bFirst = bCount > 0 ? j + 1 : j;
            refine(d, a, b, rules, result.differences);
        }
        i = k + 1;
        j = partner + 1;
    }
    return result;
}

QString linesText(qint64 first, qint64 count)
{
    return count > 1 ? QStringLiteral("%1-%2").arg(first).arg(first + count - 1) : QString::number(first);
}

QString countText(const Result &result)
{
    const qsizetype n = result.differences.size();
    if (n == 0)
        return QStringLiteral("identical");
    return n == 1 ? QStringLiteral("1 difference") : QStringLiteral("%1 differences").arg(n);
}

namespace {

QString marked(QByteArrayView text, const QList<Span> &spans)
{
    QByteArray out;
    qsizetype at = 0;
    for (const Span &s : spans) {
        out.append(text.sliced(at, s.start - at));
        out.append('{');
        out.append(text.sliced(s.start, s.length));
        out.append('}');
        at = s.start + s.length;
    }
    out.append(text.sliced(at));
    return QString::fromLatin1(out);
}

} // namespace

void report(const Result &result, LineFeed &a, LineFeed &b, const Rules &rules, const std::function<void(const QString &)> &out)
{
    static const char *const names[] = {"changed", "removed", "inserted"};
    for (const Difference &d : result.differences) {
        out(QStringLiteral("%1 A %2 B %3")
                .arg(QLatin1String(names[static_cast<int>(d.kind)]), d.aCount > 0 ? linesText(d.aFirst, d.aCount) : QString::number(d.aFirst),
                     d.bCount > 0 ? linesText(d.bFirst, d.bCount) : QString::number(d.bFirst)));
        const QList<QByteArray> left = d.aCount > 0 ? a.lines(d.aFirst, d.aCount) : QList<QByteArray>();
        const QList<QByteArray> right = d.bCount > 0 ? b.lines(d.bFirst, d.bCount) : QList<QByteArray>();
        QList<QList<Span>> leftMarks(left.size()), rightMarks(right.size());
        for (qsizetype k = 0; k < std::min(left.size(), right.size()); ++k) {
            const ChangedWords w = changedWords(left[k], right[k], rules);
            leftMarks[k] = w.a;
            rightMarks[k] = w.b;
        }
        for (qsizetype k = 0; k < left.size(); ++k)
            out(QStringLiteral("    < ") + marked(left[k], leftMarks[k]));
        for (qsizetype k = 0; k < right.size(); ++k)
            out(QStringLiteral("    > ") + marked(right[k], rightMarks[k]));
    }
    out(countText(result));
}

QString verdict(const Result &result, const QString &a, const QString &b)
{
    if (result.cancelled)
        return QStringLiteral("The compare of %1 with %2 was stopped.").arg(a, b);
    if (result.identical())
        return QStringLiteral("%1 and %2 are identical as programs.").arg(a, b);
    const Difference &d = result.differences.first();
    const QString where = d.kind == Difference::Kind::Inserted ? QStringLiteral("after line %1 of %2 (line %3 of %4)").arg(d.aFirst).arg(a).arg(d.bFirst).arg(b)
                                                               : QStringLiteral("at line %1 of %2 (line %3 of %4)").arg(d.aFirst).arg(a).arg(d.bFirst).arg(b);
    return QStringLiteral("%1 and %2 differ: %3%4; the first %5.")
        .arg(a, b, countText(result), result.nothingInCommon ? QStringLiteral(", with no line in common") : QString(), where);
}

LoadedFile::~LoadedFile()
{
    if (!m_program.store.isEmpty())
        m_program.removeStores();
}

std::optional<QString> LoadedFile::load(const QString &path, int recordLength, const tessarc::ProgressReport &progress)
{
    const QString folder = tessarc::programFolder();
    m_claim = tessarc::StoreClaim::claimFree(folder);
    if (!m_claim)
        return QStringLiteral("the program folder %1 cannot be written").arg(folder);
    m_program.store = m_claim.store();
    m_program.scratch = m_claim.scratch();
    m_program.recordLength = recordLength;
    const std::optional<QString> failure = tessarc::failureOf([&] { m_program.load(path, progress); });
    if (failure) {
        tessarc::Program::removeStoreFiles(m_program.store, m_program.scratch);
        m_program.store.clear();
        m_claim.release();
    }
    return failure;
}

} // namespace compare
