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
        QTest::newRow("packed line spaced") << true << QByteArray("G01X1.5Y2.") << 498 << QByteArray(" G01 X1.5 Y2.")
                                            << LineFault::None;
        QTest::newRow("no space before a sign") << true << QByteArray("G01X-1.5Y2.") << 498
                                                << QByteArray(" G01X-1.5 Y2.") << LineFault::None;
        QTest::newRow("no space before a point") << true << QByteArray("X.5Y1") << 498 << QByteArray("X.5 Y1")
                                                 << LineFault::None;
        QTest::newRow("spaced line gains only a leading space") << true << QByteArray("N10 G01 X1.") << 498
                                                                << QByteArray(" N10 G01 X1.") << LineFault::None;
        QTest::newRow("a second run changes nothing") << true << QByteArray(" N10 G01 X1.") << 498
                                                      << QByteArray(" N10 G01 X1.") << LineFault::None;
        QTest::newRow("letters in comments too") << true << QByteArray("(TOOL1)") << 498 << QByteArray("(TOO L1)")
                                                 << LineFault::None;
        QTest::newRow("lower case, tabs are no spaces") << true << QByteArray("g1\tx2") << 498
                                                        << QByteArray(" g1\t x2") << LineFault::None;
        QTest::newRow("letters outside A to Z") << true << QByteArray("\xc9" "1_2") << 498 << QByteArray("\xc9" "1_2")
                                                << LineFault::None;
        QTest::newRow("empty line, added") << true << QByteArray() << 498 << QByteArray() << LineFault::None;
        QTest::newRow("record of 20: grows to exactly 18") << true << QByteArray("G01X1.55Y2.2Z3") << 18
                                                           << QByteArray(" G01 X1.55 Y2.2 Z3") << LineFault::None;
        QTest::newRow("record of 20: one byte more") << true << QByteArray("G01X1.55Y2.25Z3") << 18
                                                     << QByteArray("G01X1.55Y2.25Z3") << LineFault::TooLong;
        QTest::newRow("every space removed") << false << QByteArray(" G01 X1.5 (MY NOTE)") << 498
                                             << QByteArray("G01X1.5(MYNOTE)") << LineFault::None;
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
