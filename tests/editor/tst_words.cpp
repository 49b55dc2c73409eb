#include "words.h"

#include "testenv.h"

#include <QTest>

#include <cstring>
#include <limits>

using tessarc::CommentRule;
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

    // The quick reading and the library's agree on every number a line can hold: to the bit, on a
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
            QVERIFY2(std::memcmp(&quick, &plain, sizeof quick) == 0 || (quick == 0 && plain == 0),
                     (text.left(40) + " " + QByteArray::number(quick, 'g', 17) + " " + QByteArray::number(plain, 'g', 17)).constData());
        }
        QCOMPARE(tessarc::numberValue("1" + QByteArray(400, '0')), std::numeric_limits<double>::infinity());
        QCOMPARE(tessarc::numberValue("12x"), 12.0);
        QCOMPARE(tessarc::numberValue("x"), 0.0);
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
