#include "words.h"

#include "testenv.h"

#include <QTest>

#include <cstring>
#include <limits>

using tessarc::CommentRule;
using tessarc::CommentSpan;
using tessarc::LetterUse;
using tessarc::SkipSpan;
using tessarc::WordReader;

namespace {

const CommentRule kRule{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")};

// The words of a line written as "X1.5@3" (letter, number text, letter position), space-joined.
QByteArray describe(const WordReader &reader, const QByteArray &line)
{
    QByteArray out;
    std::vector<qsizetype> starts;
    reader.wordStarts(line, starts);
    std::size_t k = 0;
    for (const auto &w : reader.words(line)) {
        if (!out.isEmpty())
            out += ' ';
        out += w.letter + line.mid(w.numberStart, w.numberLength) + '@' + QByteArray::number(w.letterPos)
            + '=' + QByteArray::number(w.value);
        if (k >= starts.size() || starts[k++] != w.letterPos)
            out += "(not a start)";
    }
    return k == starts.size() ? out : out + " (more starts)";
}

// The same rules read plainly, a byte at a time, for a randomised comparison: every place a letter
// could start a word (Word, Expression or Bare), the comments and the skipped spans.
struct Place
{
    LetterUse use;
    tessarc::Word word;
};

QList<CommentSpan> plainComments(const QByteArray &line, const CommentRule &rule)
{
    const QByteArray start = rule.startComment.toLatin1(), end = rule.endComment.toLatin1(),
                     lineText = rule.lineComment.toLatin1();
    QList<CommentSpan> out;
    for (qsizetype from = 0;;) {
        const qsizetype open = start.isEmpty() ? -1 : line.indexOf(start, from);
        const qsizetype lineOpen = lineText.isEmpty() ? -1 : line.indexOf(lineText, from);
        if (lineOpen >= 0 && (open < 0 || lineOpen < open))
            return out << CommentSpan{lineOpen, line.size() - lineOpen};
        if (open < 0)
            return out;
        const qsizetype close = end.isEmpty() ? -1 : line.indexOf(end, open + start.size());
        if (close < 0)
            return out << CommentSpan{open, line.size() - open};
        out << CommentSpan{open, close + end.size() - open};
        from = close + end.size();
    }
}

bool letter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where a parameter or an expression opening at `i` ends, or -1 when none opens there.
qsizetype plainSkipEnd(const QByteArray &line, qsizetype i, SkipSpan::Kind &kind)
{
    const char c = line[i];
    kind = c == '[' ? SkipSpan::Kind::Expression : SkipSpan::Kind::Parameter;
    if (c == '[') {
        for (qsizetype j = i, depth = 0; j < line.size(); ++j) {
            depth += line[j] == '[' ? 1 : line[j] == ']' ? -1 : 0;
            if (line[j] == ']' && depth == 0)
                return j + 1;
        }
        return line.size();
    }
    if (c == '<' || (c == '#' && i + 1 < line.size() && line[i + 1] == '<')) {
        const qsizetype close = line.indexOf('>', i);
        return close < 0 ? line.size() : close + 1;
    }
    if (c != '#')
        return -1;
    qsizetype j = i + 1;
    while (j < line.size() && line[j] >= '0' && line[j] <= '9')
        ++j;
    return j;
}

QList<Place> plainPlaces(const QByteArray &line, const CommentRule &rule, bool spaces)
{
    const QList<CommentSpan> comments = plainComments(line, rule);
    QList<Place> out;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype limit = n; // the start of the first comment that ends after i
        for (const CommentSpan &c : comments) {
            if (c.start + c.length > i) {
                limit = c.start;
                if (c.start <= i)
                    i = c.start + c.length;
                break;
            }
        }
        if (i >= n || limit <= i)
            continue;
        SkipSpan::Kind kind;
        if (const qsizetype end = plainSkipEnd(line, i, kind); end >= 0) {
            i = std::max(end, i + 1);
            continue;
        }
        if (!letter(line[i])) {
            ++i;
            continue;
        }
        if (i + 1 < limit && letter(line[i + 1])) {
            while (i < limit && letter(line[i]))
                ++i;
            continue;
        }
        Place place{LetterUse::Bare, {}};
        place.word.letter = char(line[i] & ~0x20);
        place.word.letterPos = i;
        qsizetype j = i + 1;
        while (spaces && j < limit && (line[j] == ' ' || line[j] == '\t'))
            ++j;
        if (j < limit && (line[j] == '[' || line[j] == '#')) {
            out << Place{LetterUse::Expression, {place.word.letter, i}};
            i = j;
            continue;
        }
        qsizetype k = j + (j < limit && (line[j] == '+' || line[j] == '-'));
        qsizetype last = k;
        bool point = false, digit = false;
        for (; k < limit; ++k) {
            const char c = line[k];
            if (c >= '0' && c <= '9')
                digit = true;
            else if (c == '.' && !point)
                point = true;
            else if (!spaces || (c != ' ' && c != '\t'))
                break;
            if (c != ' ' && c != '\t')
                last = k + 1;
        }
        if (digit) {
            place.use = LetterUse::Word;
            place.word.numberStart = j;
            place.word.numberLength = last - j;
            place.word.value = tessarc::plainNumberValue(line.mid(j, last - j));
        } else {
            place.word = {place.word.letter, i};
        }
        out << place;
        i = digit ? last : j;
    }
    return out;
}

QList<SkipSpan> plainSkipSpans(const QByteArray &line, const CommentRule &rule)
{
    QList<SkipSpan> out;
    qsizetype at = 0;
    const auto openings = [&](qsizetype limit) {
        while (at < limit) {
            SkipSpan::Kind kind;
            const qsizetype end = plainSkipEnd(line, at, kind);
            if (end < 0) {
                ++at;
                continue;
            }
            const qsizetype cut = std::min(std::max(end, at + 1), limit);
            out << SkipSpan{kind, at, cut - at};
            at = cut;
        }
    };
    for (const CommentSpan &c : plainComments(line, rule)) {
        openings(c.start);
        out << SkipSpan{SkipSpan::Kind::Comment, c.start, c.length};
        at = std::max(at, c.start + c.length);
    }
    openings(line.size());
    return out;
}

} // namespace

class TestWords : public QObject
{
    Q_OBJECT
private slots:
    void words_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("glued") << QByteArray("G01X1.5Y-2") << false << QByteArray("G01@0=1 X1.5@3=1.5 Y-2@7=-2");
        QTest::newRow("lower, tabs") << QByteArray("g1\tx+.5") << false << QByteArray("G1@0=1 X+.5@3=0.5");
        QTest::newRow("pair comment") << QByteArray("X1 (Y2 Z3) Z4") << false << QByteArray("X1@0=1 Z4@11=4");
        QTest::newRow("line comment") << QByteArray("X1 ; Y2") << false << QByteArray("X1@0=1");
        QTest::newRow("open comment") << QByteArray("X1 (Y2") << false << QByteArray("X1@0=1");
        QTest::newRow("parameter name") << QByteArray("#<xscale>=2 Y1") << false << QByteArray("Y1@12=1");
        QTest::newRow("numbered parameter") << QByteArray("#1=2 X#1 Y3") << false << QByteArray("Y3@9=3");
        QTest::newRow("expression") << QByteArray("X[#<scale>*6.886] Y[1+[2]] Z1") << false
                                    << QByteArray("Z1@27=1");
        QTest::newRow("sub") << QByteArray("O<x1> sub") << false << QByteArray();
        QTest::newRow("numbered o") << QByteArray("O100 sub") << false << QByteArray("O100@0=100");
        QTest::newRow("tokens") << QByteArray("Mazak GOTO1 while X2") << false << QByteArray("X2@18=2");
        QTest::newRow("bare") << QByteArray("X Y- Z. A-.5") << false << QByteArray("A-.5@8=-0.5");
        QTest::newRow("second sign, no exponent") << QByteArray("X1-2 Y1E3") << false << QByteArray("X1@0=1 Y1@5=1 E3@7=3");
        QTest::newRow("more digits than a quick reading")
            << QByteArray("X12345678901234567.5") << false << QByteArray("X12345678901234567.5@0=1.23457e+16");
        QTest::newRow("second point ends") << QByteArray("X1.2.3") << false << QByteArray("X1.2@0=1.2");
        QTest::newRow("spaces off") << QByteArray("X 1. Y2 000") << false << QByteArray("Y2@5=2");
        QTest::newRow("spaces on") << QByteArray("X 1. Y2 000 Z") << true
                                   << QByteArray("X1.@0=1 Y2 000@5=2000");
        QTest::newRow("spaces on, expression") << QByteArray("X [1] Y2") << true << QByteArray("Y2@6=2");
    }
    void words()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, spaces);
        QFETCH(QByteArray, expected);
        QCOMPARE(describe(WordReader(kRule, spaces), line), expected);
    }

    // The quick readings and the library's agree on every number a line can hold: to the bit, on a
    // table of edges and on numbers of every length, sign and point place.
    void quickAndPlainNumbersAgree()
    {
        QList<QByteArray> texts = {"0", "-0", "+.5", "3.", "0.1", "-0.3", "999999999999999", "999999999999999.9",
                                   "1234567890123456", "0.000000000000001", ".0000000000000001",
                                   "9007199254740993", "1" + QByteArray(400, '0'), "0." + QByteArray(400, '0') + "1",
                                   "1 2.5", "-	7", "", "-", ".", "12x"};
        quint64 seed = 88172645463325252ull; // xorshift: the same numbers on every run
        const auto next = [&seed] {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            return seed;
        };
        for (int k = 0; k < 20000; ++k) {
            QByteArray digits = QByteArray::number(next() % 100000000000000000ull);
            digits = digits.left(qsizetype(1 + next() % quint64(digits.size())));
            digits.insert(qsizetype(next() % quint64(digits.size() + 1)), '.');
            texts.append((next() % 2 ? "-" : "") + digits);
        }
        for (const QByteArray &text : texts) {
            const double quick = tessarc::numberValue(text);
            const double plain = tessarc::plainNumberValue(text);
            // Followed by more bytes of a line, a short number is read eight bytes at a time.
            const double followed = tessarc::numberValue(text + "Y1234567");
            QVERIFY2((std::memcmp(&quick, &plain, sizeof quick) == 0 || (quick == 0 && plain == 0))
                         && std::memcmp(&followed, &quick, sizeof quick) == 0,
                     (text.left(40) + " " + QByteArray::number(quick, 'g', 17) + " " + QByteArray::number(plain, 'g', 17)
                      + " " + QByteArray::number(followed, 'g', 17)).constData());
        }
        QCOMPARE(tessarc::numberValue("1" + QByteArray(400, '0')), std::numeric_limits<double>::infinity());
        QCOMPARE(tessarc::numberValue("12x"), 12.0);
        QCOMPARE(tessarc::numberValue("x"), 0.0);
    }

    // Random lines of every length, from the pieces programs are made of, read under several
    // comment rules (one whose texts are letters) with and without spaces in numbers: the reader
    // finds what the plain reading finds, place for place.
    void agreesWithPlainReading()
    {
        const QList<CommentRule> rules{kRule, {QStringLiteral("(("), QStringLiteral("))"), QStringLiteral("//")},
                                       {QStringLiteral("Xa"), QStringLiteral("a"), QStringLiteral("N")},
                                       {QStringLiteral("/*"), QStringLiteral("*/"), QStringLiteral("//")},
                                       {QStringLiteral("("), {}, {}}, {}};
        static const char *const pieces[] = {"X", "x", "G", "N", "Z", "GOTO", "1", "23", "-", "+", ".", " ",
                                             "\t", "[", "]", "<", ">", "#", "(", ")", ";", "0.5", "//", "a",
                                             "#<v>", "X[1]", "N10", "/*", "*/", "/", "G01 X-12.3456 Y7.8 Z-1.0 F1200."};
        quint64 seed = 0x9e3779b97f4a7c15ull;
        const auto next = [&seed] {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            return seed;
        };
        const auto describePlace = [](LetterUse use, const tessarc::Word &w) {
            return QByteArray::number(int(use)) + (w.letter ? w.letter : '-') + '@' + QByteArray::number(w.letterPos) + ','
                + QByteArray::number(w.numberStart) + '+' + QByteArray::number(w.numberLength) + '='
                + QByteArray::number(w.value, 'g', 17);
        };
        for (int k = 0; k < 40000; ++k) {
            QByteArray line;
            const int count = int(next() % 40);
            for (int p = 0; p < count; ++p)
                line += pieces[next() % std::size(pieces)];
            const qsizetype r = qsizetype(next() % quint64(rules.size()));
            const CommentRule &rule = rules[r];
            const bool spaces = next() % 2;
            const WordReader reader(rule, spaces);
            const QList<Place> places = plainPlaces(line, rule, spaces);
            QByteArray expected, found;
            std::vector<qsizetype> starts;
            reader.wordStarts(line, starts);
            for (const Place &p : places) {
                if (p.use == LetterUse::Word)
                    expected += describePlace(p.use, p.word) + ' ';
            }
            for (const tessarc::Word &w : reader.words(line))
                found += describePlace(LetterUse::Word, w) + ' ';
            for (qsizetype at : starts)
                found += QByteArray::number(at) + ' ';
            for (const Place &p : places) {
                if (p.use == LetterUse::Word)
                    expected += QByteArray::number(p.word.letterPos) + ' ';
            }
            for (const char l : {'X', 'Z', 'N', 'A'}) {
                const auto firstPlace = [&](bool bare, bool words) {
                    for (const Place &p : places) {
                        if (p.word.letter == l && (bare || p.use != LetterUse::Bare) && (!words || p.use == LetterUse::Word))
                            return p;
                    }
                    return Place{LetterUse::None, {}};
                };
                const Place use = firstPlace(true, false), find = firstPlace(false, false), first = firstPlace(false, true);
                expected += "| " + QByteArray::number(int(use.use)) + describePlace(find.use, find.word)
                    + (first.use == LetterUse::Word ? describePlace(first.use, first.word) : QByteArray("-"));
                const tessarc::FoundWord f = reader.find(line, char(l | 0x20));
                const auto w = reader.first(line, l);
                found += "| " + QByteArray::number(int(reader.firstUse(line, l))) + describePlace(f.use, f.word)
                    + (w ? describePlace(LetterUse::Word, *w) : QByteArray("-"));
            }
            const QList<SkipSpan> spans = reader.skipSpans(line);
            QVERIFY2(spans == plainSkipSpans(line, rule) && found == expected,
                     ("line \"" + line + "\" rule " + QByteArray::number(r) + " spaces "
                      + QByteArray::number(spaces) + "\n   found " + found + "\nexpected " + expected).constData());
        }
    }

    void firstUse_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<LetterUse>("use");
        QTest::addColumn<qsizetype>("firstPos"); // where first('X') finds its word, -1 none
        QTest::newRow("word") << QByteArray("G1 X2 X3") << LetterUse::Word << qsizetype(3);
        QTest::newRow("expression first") << QByteArray("X[#<scale>*6.886] X2") << LetterUse::Expression
                                          << qsizetype(18);
        QTest::newRow("parameter") << QByteArray("x#1") << LetterUse::Expression << qsizetype(-1);
        QTest::newRow("bare") << QByteArray("X Y1") << LetterUse::Bare << qsizetype(-1);
        QTest::newRow("comment only") << QByteArray("(X[1]) ; X#2") << LetterUse::None << qsizetype(-1);
        QTest::newRow("token only") << QByteArray("MAX1") << LetterUse::None << qsizetype(-1);
    }
    void firstUse()
    {
        QFETCH(QByteArray, line);
        QFETCH(LetterUse, use);
        QFETCH(qsizetype, firstPos);
        const WordReader reader(kRule);
        QCOMPARE(reader.firstUse(line, 'x'), use);
        const auto w = reader.first(line, 'X');
        QCOMPARE(w ? w->letterPos : qsizetype(-1), firstPos);
    }

    void skipSpans()
    {
        using K = SkipSpan::Kind;
        const QByteArray line("#<a>=[1+[2]] X#3 (c) ; d");
        const QList<SkipSpan> expected{
            {K::Parameter, 0, 4}, {K::Expression, 5, 7}, {K::Parameter, 14, 2},
            {K::Comment, 17, 3},  {K::Comment, 21, 3},
        };
        QCOMPARE(WordReader(kRule).skipSpans(line), expected);
    }
};

VORNEXA_TEST_MAIN(TestWords)
#include "tst_words.moc"
