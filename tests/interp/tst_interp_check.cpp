#include "check.h"
#include "cycletime.h"

#include <QTest>

#include <cmath>

namespace {

// A small mill: X and Y 0 to 100, Z -50 to 0, feeds to 2000 mm/min, a 10,000 rpm spindle, N words
// of four digits.
interp::MachineSetup smallMill()
{
    interp::MachineSetup mill;
    for (int a = 0; a < 3; ++a) {
        mill.axes[a].limited = true;
        mill.axes[a].min = a == 2 ? -50.0 : 0.0;
        mill.axes[a].max = a == 2 ? 0.0 : 100.0;
        mill.axes[a].maxFeed = 2000.0;
    }
    mill.spindleMax = 10000.0;
    mill.nDigits = 4;
    return mill;
}

interp::CheckRun check(const QByteArray &program, bool onTheMill = true)
{
    interp::Setup setup;
    if (onTheMill) // with a tool table
        setup.tools.insert(1, {0.0, 0.0, 6.0});
    interp::TextLines lines(program);
    return interp::checkProgram(lines, setup, onTheMill ? smallMill() : interp::MachineSetup{});
}

QStringList told(const interp::CheckRun &run)
{
    QStringList out;
    for (const interp::Finding &f : run.findings)
        out.append(QStringLiteral("%1:%2:%3").arg(f.line).arg(f.severity == interp::Severity::Error ? "error" : "warning", f.reason));
    return out;
}

} // namespace

class tst_interp_check : public QObject
{
    Q_OBJECT

private slots:
    void findings_data();
    void findings();
    void aFaultOnEveryLineIsCounted();
    void summary();
    void axesPastZ();
    void aLongProgramIsTimedAsTheTimerTimesIt();
    void clock_data();
    void clock();
};

void tst_interp_check::findings_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<bool>("onTheMill");
    // Each finding as "line:severity:" and a piece of its reason; "" for a program with none.
    QTest::addColumn<QStringList>("expected");
    const QStringList none;
    QTest::newRow("clean") << QByteArray("N10 G0 X1\nM2\n") << true << none;
    QTest::newRow("unknown code") << QByteArray("G0 X1\nG12 X1\nM2\n") << true << QStringList{"2:error:G12 is not followed"};
    QTest::newRow("one modal group") << QByteArray("G0 G1 X1 F100\nM2\n") << true << QStringList{"1:error:are of one modal group"};
    QTest::newRow("arc off its circle")
        << QByteArray("G0 X0 Y0\nG2 X10.01 Y0 I5 J0 F100\nM2\n") << true << QStringList{"2:warning:the arc's end lies 0.01000 mm off its circle"};
    QTest::newRow("arc within the tolerance") << QByteArray("G0 X0 Y0\nG2 X10.001 Y0 I5 J0 F100\nM2\n") << true << none;
    QTest::newRow("R arc too short") << QByteArray("G0 X0 Y0\nG2 X10 R4 F100\nM2\n") << true << QStringList{"2:error:"};
    QTest::newRow("arc with no centre") << QByteArray("G0 X0 Y0\nG2 X10 F100\nM2\n") << true << QStringList{"2:error:needs its centre"};
    QTest::newRow("feed with no feed rate") << QByteArray("G1 X1\nM2\n") << true << QStringList{"1:error:no feed rate"};
    QTest::newRow("past the travel")
        << QByteArray("G0 X50\nG0 X150\nM2\n") << true << QStringList{"2:error:X goes to 150.000 in machine coordinates, 50.000 past its travel (0.000 to 100.000)"};
    QTest::newRow("past the travel below")
        << QByteArray("G0 Z-60\nM2\n") << true << QStringList{"1:error:Z goes to -60.000 in machine coordinates, 10.000 past its travel (-50.000 to 0.000)"};
    QTest::newRow("past the travel through an offset")
        << QByteArray("G10 L2 P1 X60\nG0 X30\nG0 X50\nM2\n") << true << QStringList{"3:error:X goes to 110.000"};
    QTest::newRow("an arc past the travel between its ends")
        << QByteArray("G0 X50 Y90\nG2 X50 Y90 I0 J8 F100\nM2\n") << true << QStringList{"2:error:Y goes to 106.000"};
    QTest::newRow("no travel without a machine") << QByteArray("G0 X150\nM2\n") << false << none;
    QTest::newRow("feed above the machine's")
        << QByteArray("G1 X10 F3000\nM2\n") << true << QStringList{"1:error:the feed of 3000 mm/min is above X's maximum of 2000 mm/min"};
    QTest::newRow("feed shared between axes") << QByteArray("G1 X10 Y10 F2500\nM2\n") << true << none;
    QTest::newRow("spindle above its top speed")
        << QByteArray("S12000 M3\nM5\nM2\n") << true << QStringList{"1:error:S12000 is above the spindle's top speed of 10000 rpm"};
    QTest::newRow("G41 with no offset") << QByteArray("T2 M6\nG41 G1 X10 F100\nM2\n") << true << QStringList{"2:error:G41 is started with no offset"};
    QTest::newRow("G41 with no tool table")
        << QByteArray("G41 D1 G1 X10 F100\nM2\n") << false << QStringList{"1:warning:G41 takes tool 1's diameter from the tool table, and there is none"};
    QTest::newRow("G41.1 with no D") << QByteArray("G41.1 G1 X10 F100\nM2\n") << true << QStringList{"1:error:G41.1 is started with no offset"};
    QTest::newRow("G42 on an arc")
        << QByteArray("T1 M6\nG0 X0 Y0\nG42\nG2 X10 Y0 I5 F100\nM2\n") << true << QStringList{"4:warning:cutter compensation is started on an arc"};
    QTest::newRow("tool change with the spindle turning")
        << QByteArray("S1000 M3\nT1 M6\nM5\nM2\n") << true << QStringList{"2:warning:a tool change with the spindle turning (M3)"};
    QTest::newRow("N word too long") << QByteArray("N12345 G0 X1\nM2\n") << true << QStringList{"1:error:the N word has 5 digits; the machine takes at most 4"};
    QTest::newRow("N word of any length without a machine") << QByteArray("N12345 G0 X1\nM2\n") << false << none;
    QTest::newRow("% not alone") << QByteArray("%\nG0 X1 %\nM2\n%\n") << true << QStringList{"2:error:a % must stand alone on its line"};
    QTest::newRow("no program end") << QByteArray("G0 X1\nG0 X2\n") << true << QStringList{"2:error:the program has no end (M2 or M30)"};
    QTest::newRow("ended by %") << QByteArray("%\nG0 X1\n%\n") << true << none;
    QTest::newRow("missing subroutine") << QByteArray("o100 call\nM2\n") << true << QStringList{"1:error:there is no subroutine"};
    QTest::newRow("expression error") << QByteArray("G0 X[1/0]\nM2\n") << true << QStringList{"1:error:a division by zero"};
    QTest::newRow("a subroutine's fault told once")
        << QByteArray("o1 sub\nG0 X150\no1 endsub\no1 call\no1 call\nM2\n") << true << QStringList{"2:error:X goes to 150.000"};
    QTest::newRow("a line's own findings before its move's, the start of compensation last")
        << QByteArray("N12345 G0 X150\nG41 D1\nG2 X160 Y0 I5 J0 F5000\nG40 G0 X50\nM2\n") << true
        << QStringList{"1:error:the N word has 5 digits", "1:error:X goes to 150.000", "3:error:X goes to 160.000",
                       "3:error:the feed of 5000 mm/min", "3:warning:cutter compensation is started on an arc",
                       "4:error:X goes to 160.000"};
    QTest::newRow("machine's own M code") << QByteArray("M100\nM2\n") << true << QStringList{"1:warning:runs a program of the machine's"};
}

void tst_interp_check::findings()
{
    QFETCH(QByteArray, program);
    QFETCH(bool, onTheMill);
    QFETCH(QStringList, expected);
    const interp::CheckRun run = check(program, onTheMill);
    const QStringList found = told(run);
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(found[i].startsWith(expected[i].section(QLatin1Char(':'), 0, 1) + QLatin1Char(':')) && found[i].contains(expected[i].section(QLatin1Char(':'), 2)),
                 qPrintable(found[i]));
    QCOMPARE(run.summary.errors + run.summary.warnings, found.size());
}

void tst_interp_check::aFaultOnEveryLineIsCounted()
{
    QByteArray program;
    for (int i = 0; i < 60; ++i)
        program += "G0 X" + QByteArray::number(200 + i) + "\n";
    program += "M2\n";
    const interp::CheckRun run = check(program);
    QCOMPARE(run.findings.size(), 51);
    QCOMPARE(run.summary.errors, 60);
    QCOMPARE(run.findings.last().line, 51);
    QCOMPARE(run.findings.last().reason, QStringLiteral("10 more findings past the travel from this line on, not listed one by one"));
}

void tst_interp_check::summary()
{
    // A rapid of 10 to (10,0), a feed of 20 up to (10,20), a half circle back through X20.
    const interp::CheckRun run = check("G0 X10 Y0\nG1 X10 Y20 F100\nG2 X10 Y0 I0 J-10\nG0 Z-5\nM2\n", false);
    const interp::CheckSummary &s = run.summary;
    QCOMPARE(s.axesUsed, 0b111u);
    QCOMPARE(s.min[0], 0.0);
    QCOMPARE(s.max[0], 20.0);
    QCOMPARE(s.min[1], 0.0);
    QCOMPARE(s.max[1], 20.0);
    QCOMPARE(s.min[2], -5.0);
    QCOMPARE(s.rapidLength, 15.0);
    QVERIFY(std::fabs(s.feedLength - (20.0 + 10.0 * M_PI)) < 1e-9);
    QCOMPARE(s.moves, 4);
}

void tst_interp_check::axesPastZ()
{
    // A stands at 0 while X moves, then turns from 5 (a work offset moved its zero) to 20: its
    // extents take in the 0 it stood at.
    interp::CheckRun run = check("G1 X1 F100\nG10 L2 P2 A-5\nG55\nG1 A20\nG1 X2\nM2\n", false);
    QCOMPARE(run.summary.axesUsed, 0b1001u);
    QCOMPARE(run.summary.min[3], 0.0);
    QCOMPARE(run.summary.max[3], 20.0);
    // An A whose travel leaves out 0: a move of X alone, with A at 0, is past it.
    interp::MachineSetup rotary;
    rotary.axes[3].limited = true;
    rotary.axes[3].min = 10.0;
    rotary.axes[3].max = 350.0;
    interp::TextLines lines("G1 X1 F100\nM2\n");
    run = interp::checkProgram(lines, {}, rotary);
    QCOMPARE(told(run), QStringList{"1:error:A goes to 0.000 in machine coordinates, 10.000 past its travel (10.000 to 350.000)"});
}

void tst_interp_check::aLongProgramIsTimedAsTheTimerTimesIt()
{
    // Long enough to be timed on a thread of its own through many batches, with tool changes, dwells
    // and stops among the moves: its time, each tool's (in the order first met) and the last line's
    // are those of the timer fed line by line here, as the check feeds it.
    QByteArray program;
    for (int i = 0; i < 30000; ++i) {
        if (i % 5000 == 0)
            program += "T" + QByteArray::number(i / 5000 % 3 + 1) + " M6\n";
        program += (i % 2 ? "G1 F800 X" : "G0 Y") + QByteArray::number(i % 97) + "\n";
        if (i % 7000 == 3)
            program += "G4 P1.5\n";
        if (i % 9000 == 5)
            program += "M0\n";
    }
    program += "M2\n";
    interp::TextLines lines(program);
    const interp::CheckRun run = interp::checkProgram(lines, {}, {}, true);

    interp::Interpreter interpreter;
    interp::CycleTimer timer({});
    QList<int> order;
    QHash<int, double> seconds;
    const auto meet = [&](int tool) {
        if (!seconds.contains(tool))
            order.append(tool);
    };
    timer.timed = [&](qint64, int tool, double s) {
        meet(tool);
        seconds[tool] += s;
    };
    QList<interp::Move> moves;
    QList<interp::Finding> findings;
    for (bool more = true; more;) {
        const qint64 line = interpreter.state().line;
        more = interpreter.step(lines, moves, findings);
        timer.addLine(line, interpreter.state().modal, moves);
        if (interpreter.block().m.contains(0.0))
            timer.stop();
        for (const interp::Move &move : moves) {
            meet(move.tool);
            seconds[move.tool] += 0.0;
        }
        moves.clear();
    }
    timer.finish();
    QVERIFY(findings.isEmpty());
    QCOMPARE(run.summary.seconds, timer.total());
    QCOMPARE(run.summary.tools.size(), order.size());
    for (int i = 0; i < order.size(); ++i) {
        QCOMPARE(run.summary.tools[i].tool, order[i]);
        QCOMPARE(run.summary.tools[i].seconds, seconds[order[i]]);
    }
    QCOMPARE(run.lineTimes.back(), static_cast<float>(timer.total()));

    // Stopped at once, it still ends, and says so.
    const interp::CheckRun stopped = interp::checkProgram(lines, {}, {}, true, [](qint64) { return false; });
    QVERIFY(stopped.cancelled);
    QVERIFY(stopped.summary.seconds < run.summary.seconds);
}

void tst_interp_check::clock_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("seconds") << 7.4 << "0:07";
    QTest::newRow("minutes") << 2467.0 << "41:07";
    QTest::newRow("hours") << 3730.0 << "1:02:10";
    QTest::newRow("rounded up to an hour") << 3599.6 << "1:00:00";
}

void tst_interp_check::clock()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(interp::clockText(seconds), text);
}

QTEST_GUILESS_MAIN(tst_interp_check)
#include "tst_interp_check.moc"
