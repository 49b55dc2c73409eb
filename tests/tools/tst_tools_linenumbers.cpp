#include "linenumbers.h"
#include "linerun.h"
#include "testenv.h"

using tools::LineFault;
using tools::LineNumberSettings;
using tools::LineRange;
using Lines = QList<QByteArray>;

Q_DECLARE_METATYPE(tools::LineNumberSettings)
Q_DECLARE_METATYPE(tools::LineRange)
Q_DECLARE_METATYPE(tools::LineFault)

namespace {

LineNumberSettings realNumbers(bool spaceAfter = true, bool removeExisting = true)
{
    LineNumberSettings s;
    s.spaceAfter = spaceAfter;
    s.removeExisting = removeExisting;
    return s;
}

LineNumberSettings startingAt(const char *start, const char *increment, bool spaceAfter = true)
{
    LineNumberSettings s;
    s.realLineNumbers = false;
    s.startNumber = QString::fromLatin1(start);
    s.increment = QString::fromLatin1(increment);
    s.spaceAfter = spaceAfter;
    return s;
}

LineNumberSettings removing()
{
    LineNumberSettings s;
    s.add = false;
    return s;
}

} // namespace

class TestLineNumbers : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<LineNumberSettings>("settings");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<LineRange>("range");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("expected");
        QTest::addColumn<qint64>("next");
        QTest::addColumn<int>("stoppedAt");
        const LineRange two{1, 2};
        QTest::newRow("real line numbers") << realNumbers() << true << 498 << two << Lines{"G90", "G01 X1."}
                                           << Lines{"N1 G90", "N2 G01 X1."} << qint64(3) << -1;
        QTest::newRow("real line numbers of a range") << realNumbers() << true << 498 << LineRange{7, 8}
                                                      << Lines{"G90", "G01"} << Lines{"N7 G90", "N8 G01"} << qint64(9)
                                                      << -1;
        QTest::newRow("from 10 by 10, no space") << startingAt("10", "10", false) << true << 498 << LineRange{5, 7}
                                                 << Lines{"G90", "G91", "G92"} << Lines{"N10G90", "N20G91", "N30G92"}
                                                 << qint64(40) << -1;
        QTest::newRow("old number replaced, spaces on") << realNumbers() << true << 498 << two
                                                        << Lines{"N5 G01", "n6X1"} << Lines{"N1 G01", "N2 X1"}
                                                        << qint64(3) << -1;
        QTest::newRow("old number replaced, spaces off") << realNumbers() << false << 498 << two
                                                         << Lines{"N5 G01", "n6X1"} << Lines{"N1  G01", "N2 X1"}
                                                         << qint64(3) << -1;
        QTest::newRow("old number kept") << realNumbers(true, false) << true << 498 << two << Lines{"N5 G01", ""}
                                         << Lines{"N1 N5 G01", ""} << qint64(2) << -1;
        QTest::newRow("only a leading N is old") << realNumbers() << true << 498 << two << Lines{" N5 G01", "(N5)"}
                                                 << Lines{"N1  N5 G01", "N2 (N5)"} << qint64(3) << -1;
        QTest::newRow("tape marks, program numbers and blank lines take none")
            << realNumbers() << true << 498 << LineRange{1, 8}
            << Lines{"%", "O1234", ":1234 (X)", "G90", " ", "o100 sub", "O<name> call", "%"}
            << Lines{"%", "O1234", ":1234 (X)", "N1 G90", " ", "o100 sub", "O<name> call", "%"} << qint64(2) << -1;
        QTest::newRow("removed, tape marks and program numbers unchanged")
            << removing() << true << 498 << LineRange{1, 3} << Lines{"%", "O1234 N5", "%"}
            << Lines{"%", "O1234 N5", "%"} << qint64(1) << -1;
        QTest::newRow("increment 0") << startingAt("5", "0") << true << 498 << two << Lines{"A", "B"}
                                     << Lines{"N5 A", "N5 B"} << qint64(5) << -1;
        QTest::newRow("increment rounded") << startingAt("1", "1.6") << true << 498 << two << Lines{"A", "B"}
                                           << Lines{"N1 A", "N3 B"} << qint64(5) << -1;
        QTest::newRow("the largest numbers") << startingAt("999999999999998", "1") << true << 498 << two
                                             << Lines{"A", "B"} << Lines{"N999999999999998 A", "N999999999999999 B"}
                                             << qint64(1000000000000000) << -1;
        QTest::newRow("a line too long stops the run") << realNumbers() << true << 8 << two << Lines{"G0", "G01 X1."}
                                                       << Lines{"N1 G0", "G01 X1."} << qint64(2) << 1;
        QTest::newRow("removed, spaces on") << removing() << true << 498 << LineRange{1, 3}
                                            << Lines{"n7 X1.", " N7 X1.", "G01"} << Lines{"X1.", " N7 X1.", "G01"}
                                            << qint64(1) << -1;
        QTest::newRow("removed, spaces off") << removing() << false << 498 << two << Lines{"n7 X1.", "N-2.5Y1"}
                                             << Lines{" X1.", "Y1"} << qint64(1) << -1;
    }

    void runs()
    {
        QFETCH(LineNumberSettings, settings);
        QFETCH(bool, spaces);
        QFETCH(int, maxLength);
        QFETCH(LineRange, range);
        QFETCH(Lines, lines);
        tools::LineRules rules;
        rules.spaces = spaces;
        rules.maxLength = maxLength;
        tools::LineNumberWork work(settings, range, rules);
        const LineRun run = runLines(work, lines);
        QTEST(run.lines, "expected");
        QTEST(work.nextNumber(), "next");
        QTEST(static_cast<int>(run.stoppedAt), "stoppedAt");
        QCOMPARE(run.fault, run.stoppedAt < 0 ? LineFault::None : LineFault::TooLong);
    }

    void checkFields_data()
    {
        QTest::addColumn<LineNumberSettings>("settings");
        QTest::addColumn<LineRange>("range");
        QTest::addColumn<bool>("refused");
        QTest::newRow("real line numbers") << realNumbers() << LineRange{1, 100000} << false;
        QTest::newRow("removing reads no field") << [] {
            LineNumberSettings s = removing();
            s.realLineNumbers = false;
            s.startNumber.clear();
            return s;
        }() << LineRange{1, 9} << false;
        QTest::newRow("from 10 by 10") << startingAt("10", "10") << LineRange{1, 9} << false;
        QTest::newRow("empty start") << startingAt("", "10") << LineRange{1, 9} << true;
        QTest::newRow("start not numeric") << startingAt("1O", "10") << LineRange{1, 9} << true;
        QTest::newRow("empty increment") << startingAt("1", "") << LineRange{1, 9} << true;
        QTest::newRow("increment below 0") << startingAt("1", "-1") << LineRange{1, 9} << true;
        QTest::newRow("last number of 15 digits") << startingAt("999999999999990", "1") << LineRange{1, 10} << false;
        QTest::newRow("last number of 16 digits") << startingAt("999999999999990", "1") << LineRange{1, 11} << true;
        QTest::newRow("first number of 16 digits") << startingAt("1000000000000000", "0") << LineRange{1, 1} << true;
        QTest::newRow("increment past a double") << startingAt("1", "1E308") << LineRange{1, 3} << true;
    }

    void checkFields()
    {
        QFETCH(LineNumberSettings, settings);
        QFETCH(LineRange, range);
        QFETCH(bool, refused);
        const std::optional<QString> got = tools::checkFields(settings, range, QStringLiteral("TEXTNULL"));
        QCOMPARE(got.value_or(QString()), refused ? QStringLiteral("TEXTNULL") : QString());
    }
};

VORNEXA_TEST_MAIN(TestLineNumbers)
#include "tst_tools_linenumbers.moc"
