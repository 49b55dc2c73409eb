#include "spaces.h"
#include "testenv.h"

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
};

VORNEXA_TEST_MAIN(TestSpaces)
#include "tst_tools_spaces.moc"
