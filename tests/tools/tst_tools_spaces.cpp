#include "spaces.h"
#include "testenv.h"
#include "words.h"

using tools::LineFault;

Q_DECLARE_METATYPE(tools::LineFault)

class TestSpaces : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<LineFault>("fault");
        const auto row = [](const char *name, bool add, const QByteArray &line, const QByteArray &expected,
                            int maxLength = 498, LineFault fault = LineFault::None) {
            QTest::newRow(name) << add << line << maxLength << expected << fault;
        };
        row("packed line spaced", true, "G01X1.5Y2.", "G01 X1.5 Y2.");
        row("signs and points are the number's", true, "G01X-1.5Y+2.Z.5", "G01 X-1.5 Y+2. Z.5");
        row("spaced line and a second run unchanged", true, " N10 G01 X1.", " N10 G01 X1.");
        row("comments untouched, the word after one spaced", true, "(TOOL1)G0X1;T2X3", "(TOOL1)G0 X1;T2X3");
        row("expressions and parameters", true, "G1X[#1*2]Z#3#<xscale>=2", "G1 X[#1*2] Z#3#<xscale>=2");
        row("names and O lines", true, "o100 sub", "o100 sub");
        row("lower case, a tab is a space", true, "g1\tx2y3", "g1\tx2 y3");
        row("letters outside A to Z", true, "\xc9" "1_2", "\xc9" "1_2");
        row("empty line, added", true, QByteArray(), QByteArray());
        row("record of 20: grows to exactly 18", true, "G01X1.55Y2.25Z3", "G01 X1.55 Y2.25 Z3", 18);
        row("record of 20: one byte more", true, "G01X1.55Y2.25Z35", "G01X1.55Y2.25Z35", 18, LineFault::TooLong);
        row("code packed, comments kept", false, " G01 X1.5 (MY NOTE) ; END", "G01X1.5(MY NOTE); END");
        row("expressions kept", false, "#<xs> = [#1 + 2]", "#<xs>=[#1 + 2]");
        row("tabs stay", false, "G01\tX1 ", "G01\tX1");
        row("empty line, removed", false, QByteArray(), QByteArray());
    }

    void lines()
    {
        QFETCH(bool, add);
        QFETCH(QByteArray, line);
        QFETCH(int, maxLength);
        tools::LineRules rules;
        rules.maxLength = maxLength;
        QByteArray out("left over from the line before");
        QTEST(tools::SpaceWork(tools::SpaceSettings{add}, rules)(line, out), "fault");
        QTEST(out, "expected");
    }

    // Random lines of every length: removing keeps every byte of the comments, parameters and
    // expressions and every other byte but the spaces, in order.
    void removingKeepsAllButTheSpaces()
    {
        static const char *const pieces[] = {"G01", " ", "   ", "X-1.5", "(A B)", "; c d", "#<x y>", "[1 + 2]",
                                             "\t", "N10", "0123456789ABCDEF", "Y 2 000"};
        const tools::LineRules rules;
        const tools::SpaceWork remove(tools::SpaceSettings{false}, rules);
        const tessarc::WordReader reader(rules.comments, rules.spaces);
        quint64 seed = 0x2545f4914f6cdd1dull;
        QByteArray out;
        for (int k = 0; k < 20000; ++k) {
            QByteArray line;
            for (int p = int((seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 59); p > 0; --p) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                line += pieces[(seed >> 33) % std::size(pieces)];
            }
            QByteArray expected;
            qsizetype at = 0;
            for (const tessarc::SkipSpan &span : reader.skipSpans(line)) {
                expected += line.mid(at, span.start - at).replace(" ", "") + line.mid(span.start, span.length);
                at = span.start + span.length;
            }
            expected += line.mid(at).replace(" ", "");
            QCOMPARE(remove(line, out), LineFault::None);
            QVERIFY2(out == expected, line.constData());
        }
    }
};

VORNEXA_TEST_MAIN(TestSpaces)
#include "tst_tools_spaces.moc"
