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
        QTest::newRow("packed line spaced") << true << QByteArray("G01X1.5Y2.") << 498 << QByteArray("G01 X1.5 Y2.")
                                            << LineFault::None;
        QTest::newRow("signs and points are the number's") << true << QByteArray("G01X-1.5Y+2.Z.5") << 498
                                                           << QByteArray("G01 X-1.5 Y+2. Z.5") << LineFault::None;
        QTest::newRow("spaced line and a second run unchanged") << true << QByteArray(" N10 G01 X1.") << 498
                                                                << QByteArray(" N10 G01 X1.") << LineFault::None;
        QTest::newRow("comments untouched, the word after one spaced") << true << QByteArray("(TOOL1)G0X1;T2X3") << 498
                                                                       << QByteArray("(TOOL1)G0 X1;T2X3") << LineFault::None;
        QTest::newRow("expressions and parameters") << true << QByteArray("G1X[#1*2]Z#3#<xscale>=2") << 498
                                                    << QByteArray("G1 X[#1*2] Z#3#<xscale>=2") << LineFault::None;
        QTest::newRow("names and O lines") << true << QByteArray("o100 sub") << 498 << QByteArray("o100 sub")
                                           << LineFault::None;
        QTest::newRow("lower case, a tab is a space") << true << QByteArray("g1\tx2y3") << 498
                                                      << QByteArray("g1\tx2 y3") << LineFault::None;
        QTest::newRow("letters outside A to Z") << true << QByteArray("\xc9" "1_2") << 498 << QByteArray("\xc9" "1_2")
                                                << LineFault::None;
        QTest::newRow("empty line, added") << true << QByteArray() << 498 << QByteArray() << LineFault::None;
        QTest::newRow("record of 20: grows to exactly 18") << true << QByteArray("G01X1.55Y2.25Z3") << 18
                                                           << QByteArray("G01 X1.55 Y2.25 Z3") << LineFault::None;
        QTest::newRow("record of 20: one byte more") << true << QByteArray("G01X1.55Y2.25Z35") << 18
                                                     << QByteArray("G01X1.55Y2.25Z35") << LineFault::TooLong;
        QTest::newRow("code packed, comments kept") << false << QByteArray(" G01 X1.5 (MY NOTE) ; END") << 498
                                                    << QByteArray("G01X1.5(MY NOTE); END") << LineFault::None;
        QTest::newRow("expressions kept") << false << QByteArray("#<xs> = [#1 + 2]") << 498
                                          << QByteArray("#<xs>=[#1 + 2]") << LineFault::None;
        QTest::newRow("tabs stay") << false << QByteArray("G01\tX1 ") << 498 << QByteArray("G01\tX1")
                                   << LineFault::None;
        QTest::newRow("empty line, removed") << false << QByteArray() << 498 << QByteArray() << LineFault::None;
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
