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
        const auto row = [](const char *name, const LineNumberSettings &s, LineRange range, const Lines &lines,
                            const Lines &expected, qint64 next, bool spaces = true, int maxLength = 498,
                            int stoppedAt = -1) {
            QTest::newRow(name) << s << spaces << maxLength << range << lines << expected << next << stoppedAt;
        };
        row("real line numbers", realNumbers(), two, {"G90", "G01 X1."}, {"N1 G90", "N2 G01 X1."}, 3);
        row("real line numbers of a range", realNumbers(), {7, 8}, {"G90", "G01"}, {"N7 G90", "N8 G01"}, 9);
        row("from 10 by 10, no space", startingAt("10", "10", false), {5, 7}, {"G90", "G91", "G92"},
            {"N10G90", "N20G91", "N30G92"}, 40);
        row("old number replaced, spaces on", realNumbers(), two, {"N5 G01", "n6X1"}, {"N1 G01", "N2 X1"}, 3);
        row("old number replaced, spaces off", realNumbers(), two, {"N5 G01", "n6X1"}, {"N1  G01", "N2 X1"}, 3, false);
        row("old number kept", realNumbers(true, false), two, {"N5 G01", ""}, {"N1 N5 G01", ""}, 2);
        row("only a leading N is old", realNumbers(), two, {" N5 G01", "(N5)"}, {"N1  N5 G01", "N2 (N5)"}, 3);
        row("tape marks, program numbers and blank lines take none", realNumbers(), {1, 8},
            {"%", "O1234", ":1234 (X)", "G90", " ", "o100 sub", "O<name> call", "%"},
            {"%", "O1234", ":1234 (X)", "N1 G90", " ", "o100 sub", "O<name> call", "%"}, 2);
        row("removed, tape marks and program numbers unchanged", removing(), {1, 3}, {"%", "O1234 N5", "%"},
            {"%", "O1234 N5", "%"}, 1);
        row("increment 0", startingAt("5", "0"), two, {"A", "B"}, {"N5 A", "N5 B"}, 5);
        row("increment rounded", startingAt("1", "1.6"), two, {"A", "B"}, {"N1 A", "N3 B"}, 5);
        row("the largest numbers", startingAt("999999999999998", "1"), two, {"A", "B"},
            {"N999999999999998 A", "N999999999999999 B"}, 1000000000000000);
        row("a line too long stops the run", realNumbers(), two, {"G0", "G01 X1."}, {"N1 G0", "G01 X1."}, 2, true, 8, 1);
        row("removed, spaces on", removing(), {1, 3}, {"n7 X1.", " N7 X1.", "G01"}, {"X1.", " N7 X1.", "G01"}, 1);
        row("removed, spaces off", removing(), two, {"n7 X1.", "N-2.5Y1"}, {" X1.", "Y1"}, 1, false);
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
