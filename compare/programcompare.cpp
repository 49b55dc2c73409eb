#include "programcompare.h"

#include "controlerror.h"
#include "linestore.h"
#include "programfolder.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <thread>

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
    static quint64 fold(quint64 a, quint64 b)
    {
        __extension__ typedef unsigned __int128 Wide;
        const Wide r = static_cast<Wide>(a) * b;
        return quint64(r) ^ quint64(r >> 64);
    }
    void mix(quint64 word) { m_h = fold(m_h ^ word, kMix); }

    quint64 m_h = 0x5eed;
    quint64 m_pending = 0;
    int m_fill = 0; // bits in m_pending
    quint64 m_length = 0;
};

quint64 valueBytes(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void appendToken(QByteArray &out, QByteArrayView line, const Token &t, const Rules &rules)
{
    switch (t.kind) {
    case TokenKind::Word:
        out.append(t.letter);
        if (rules.byValue) {
            const quint64 bits = qToLittleEndian(valueBytes(t.value));
            out.append(reinterpret_cast<const char *>(&bits), sizeof bits);
        }
        else
            appendCounted(out, line.sliced(t.start + 1, t.length - 1), rules);
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
    Aligner(const std::vector<quint64> &a, const std::vector<quint64> &b) : m_a(a), m_b(b), m_matchOfA(a.size(), -1) {}

    void run()
    {
        std::vector<Range> stack{{0, static_cast<qint64>(m_a.size()), 0, static_cast<qint64>(m_b.size())}};
        while (!stack.empty()) {
            Range r = stack.back();
            stack.pop_back();
            align(r, stack);
        }
    }
    const std::vector<qint32> &matchOfA() const { return m_matchOfA; }
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
        const auto uniques = [](const std::vector<quint64> &h, qint64 lo, qint64 hi) {
            std::vector<quint64> sorted(h.begin() + lo, h.begin() + hi);
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
        std::vector<quint64> common = uniques(m_a, r.aLo, r.aHi);
        {
            const std::vector<quint64> b = uniques(m_b, r.bLo, r.bHi);
            common.erase(std::set_intersection(common.begin(), common.end(), b.begin(), b.end(), common.begin()), common.end());
        }
        if (common.empty())
            return {};
        const auto place = [&](quint64 h) -> qint64 {
            const auto it = std::lower_bound(common.begin(), common.end(), h);
            return it != common.end() && *it == h ? it - common.begin() : -1;
        };
        std::vector<qint32> lineOfB(common.size(), -1);
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
        std::vector<qint32>().swap(lineOfB);
        std::vector<quint64>().swap(common);
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

    const std::vector<quint64> &m_a;
    const std::vector<quint64> &m_b;
    std::vector<qint32> m_matchOfA;
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

void TextFeed::each(const std::function<bool(qint64, QByteArrayView)> &visit)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (!visit(i + 1, m_lines[i]))
            return;
    }
}

qint64 ProgramFeed::lineCount() const
{
    return m_program.lineCount();
}

void ProgramFeed::each(const std::function<bool(qint64, QByteArrayView)> &visit)
{
    tessarc::LineStore store;
    m_program.openStore(store, m_program.lineCount());
    struct Stop
    {
    };
    try {
        store.forEachRecord(tessarc::LineNumber(1), m_program.lineCount(), [&](tessarc::LineNumber n, QByteArrayView text) {
            if (!visit(n.value, text))
                throw Stop();
        });
    } catch (const Stop &) {
    }
}

QList<QByteArray> ProgramFeed::lines(qint64 first, qint64 count)
{
    return m_program.readLines(tessarc::LineNumber(first), count);
}

void canonicalLine(QByteArrayView line, const Rules &rules, const tessarc::WordReader &reader, QByteArray &out)
{
    out.clear();
    if (rules.isPlain()) {
        out.append(line.data(), line.size());
        return;
    }
    Tokenizer tokenizer(rules, reader);
    for (const Token &t : tokenizer.tokens(line))
        appendToken(out, line, t, rules);
}

namespace {

// The digits that open eight bytes: how many (0 to 8) and their value, read all at once.
struct DigitRun
{
    int count = 0;
    quint64 value = 0;
};

Q_ALWAYS_INLINE DigitRun digitRun(const char *p)
{
    constexpr quint64 ones = 0x0101010101010101ull, high = 0x8080808080808080ull;
    quint64 w;
    std::memcpy(&w, p, 8);
    w = qFromLittleEndian(w); // the first byte in the low one
    const quint64 low = w & ~high;
    const quint64 fromZero = (low + (0x80 - '0') * ones) & high;
    const quint64 pastNine = (low + (0x80 - '9' - 1) * ones) & high;
    const quint64 notDigit = ~(fromZero & ~pastNine & ~w) & high;
    DigitRun run;
    run.count = notDigit ? qCountTrailingZeroBits(notDigit) / 8 : 8;
    if (run.count == 0)
        return run;
    // The digits moved to the top, as leading zeros would stand (what a borrow below a non-digit
    // spoils is moved out), then added up in pairs, fours and eights.
    quint64 v = (w - '0' * ones) << (8 * (8 - run.count));
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000ff000000ffull) * (100 + (1000000ull << 32))) + (((v >> 16) & 0x000000ff000000ffull) * (1 + (10000ull << 32)))) >> 32;
    run.value = v;
    return run;
}

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
    // The words as the word reader finds them on a line without comments, parameters and
    // expressions, and the runs of other bytes between them, written as the tokens would be.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
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
            if (j + 8 <= n) {
                static constexpr quint64 kTens[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
                const DigitRun first = digitRun(p + j);
                qsizetype at = j + first.count;
                read = first.count < 8;
                if (read && at < n && p[at] == '.') {
                    const DigitRun second = at + 9 <= n ? digitRun(p + at + 1) : DigitRun{8, 0};
                    read = second.count < 8;
                    point = true;
                    whole = first.value * kTens[second.count] + second.value;
                    digits = first.count + second.count;
                    decimals = second.count;
                    at += 1 + second.count;
                    last = at;
                } else {
                    whole = first.value;
                    digits = first.count;
                    if (first.count > 0)
                        last = at;
                }
                if (read && spaces) {
                    // Spaces end the number unless a digit, or its first point, comes after them.
                    qsizetype after = at;
                    while (after < n && kindAt(after) == Tables::Space)
                        ++after;
                    read = after == n || !(kindAt(after) == Tables::Digit || (kindAt(after) == Tables::Point && !point));
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
            if (digits > 15)
                return false; // read by the library's reader
            if (digits > 0) {
                open = false;
                const char letter = p[i];
                if (!(m_rules.ignoreN && (letter == 'N' || letter == 'n'))) {
                    h.add(counted[static_cast<quint8>(letter)]);
                    if (m_rules.byValue) {
                        const double magnitude = double(qint64(whole)) / kPowers[decimals]; // below 10^15: exact
                        const double value = negative ? -magnitude : magnitude;
                        h.add8(valueBytes(value == 0.0 ? 0.0 : value));
                    } else {
                        for (qsizetype q = i + 1; q < last; ++q) {
                            if (!(spaces && kindAt(q) == Tables::Space))
                                h.add(counted[static_cast<quint8>(p[q])]);
                        }
                    }
                }
                i = last;
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

Result comparePrograms(LineFeed &a, LineFeed &b, const Rules &rules, const std::function<bool(qint64, qint64)> &progress)
{
    Result result;
    result.aLines = a.lineCount();
    result.bLines = b.lineCount();
    const qint64 total = result.aLines + result.bLines;
    // Each program's fingerprints on a thread of its own: the two are independent.
    std::atomic<bool> stop{false};
    std::atomic<qint64> doneA{0}, doneB{0};
    const auto fingerprints = [&](LineFeed &feed, std::atomic<qint64> &done) {
        LinePrint print(rules);
        std::vector<quint64> hashes;
        hashes.reserve(static_cast<std::size_t>(feed.lineCount()));
        feed.each([&](qint64, QByteArrayView line) {
            hashes.push_back(print(line));
            if ((hashes.size() & 0x3fff) == 0) {
                done.store(static_cast<qint64>(hashes.size()), std::memory_order_relaxed);
                return !stop.load(std::memory_order_relaxed);
            }
            return true;
        });
        done.store(static_cast<qint64>(hashes.size()));
        return hashes;
    };
    std::vector<quint64> left, right;
    std::exception_ptr failedA, failedB;
    int running = 2; // under `finishing`
    std::mutex finishing;
    std::condition_variable finished;
    const auto start = [&](LineFeed &feed, std::atomic<qint64> &done, std::vector<quint64> &out, std::exception_ptr &failed) {
        return std::thread([&] {
            try {
                out = fingerprints(feed, done);
            } catch (...) {
                failed = std::current_exception();
                stop = true;
            }
            const std::lock_guard lock(finishing);
            --running;
            finished.notify_one();
        });
    };
    std::thread first = start(a, doneA, left, failedA);
    std::thread second = start(b, doneB, right, failedB);
    // The caller's progress is told from its own thread only, every 15 ms and not after the end.
    for (std::unique_lock lock(finishing); !finished.wait_for(lock, std::chrono::milliseconds(15), [&] { return running == 0; });) {
        lock.unlock();
        if (progress && !progress(doneA + doneB, total))
            stop = true;
        lock.lock();
    }
    first.join();
    second.join();
    if (failedA)
        std::rethrow_exception(failedA);
    if (failedB)
        std::rethrow_exception(failedB);
    if (stop) {
        result.cancelled = true;
        return result;
    }

    Aligner aligner(left, right);
    aligner.run();
    result.nothingInCommon = aligner.matches() == 0 && !left.empty() && !right.empty();

    // The runs between matched lines.
    const std::vector<qint32> &matchOfA = aligner.matchOfA();
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
