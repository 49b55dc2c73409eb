#include "restart.h"

#include <QBuffer>
#include <QTest>

#include <cmath>

using namespace interp;

namespace {

struct Run
{
    ModalState before; // the state before the line's pass
    QList<Move> moves; // from the line on
};

// The program's own run, or the restart's read back from its written bytes: the state before line
// `line`'s `pass`-th run, and every move from there.
Run follow(LineSource &lines, const Setup &setup, qint64 line, int pass)
{
    Interpreter interpreter(setup);
    Run run;
    QList<Move> moves;
    QList<Finding> findings;
    int seen = 0;
    bool reached = false;
    for (bool more = true; more;) {
        if (!reached && interpreter.state().file.isEmpty() && interpreter.state().line == line && ++seen == pass) {
            reached = true;
            run.before = interpreter.state().modal;
        }
        moves.clear();
        more = interpreter.step(lines, moves, findings);
        if (reached)
            run.moves.append(moves);
    }
    return run;
}

QByteArray written(LineSource &program, const RestartPlan &plan)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    if (!writeRestart(program, plan, out, "\r\n", error))
        qFatal("the restart was not written: %s", qPrintable(error));
    return out.data();
}

bool near(double a, double b)
{
    return std::abs(a - b) < 0.003;
}

} // namespace

class tst_interp_restart : public QObject
{
    Q_OBJECT

private slots:
    void rebuildsTheStateAndTheMoves_data();
    void rebuildsTheStateAndTheMoves();
    void refusals_data();
    void refusals();
};

void tst_interp_restart::rebuildsTheStateAndTheMoves_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("pass");
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QByteArray>("retract"); // the machine's, when not G53 G0 Z0

    const int cnc = int(Dialect::LinuxCnc), fanuc = int(Dialect::Fanuc);
    QTest::newRow("metric, a tool with its length, spindle and mist and flood")
        << QByteArray("%\nG21 G90 G54 G10 L2 P1 Z-100\nT2 M6\nG43 H2\nS1200 M4\nM7\nM8\nG0 X10 Y10 Z5\nG1 Z-2 F300\nX40\nY30\nX10\nM30\n%\n") << 11 << 1 << cnc << QByteArray();
    QTest::newRow("inch, incremental")
        << QByteArray("G20 G90 G10 L2 P1 Z-4\nG0 X1 Y1 Z0.2\nG91\nG1 Z-0.3 F20\nX0.5\nY0.25\nX-0.5\nG90 G0 Z1\nM2\n") << 6 << 1 << cnc << QByteArray();
    QTest::newRow("arcs in G18, the arc mode carried to a line of its own")
        << QByteArray("G21 G18 G90 G10 L2 P1 Z-100\nG0 X0 Z0\nG1 X5 F100\nG2 X10 Z-5 I0 K-5\nX15 Z-10 I0 K-5\nX20 Z-15 R5\nM2\n") << 5 << 1 << cnc << QByteArray();
    QTest::newRow("G55 set by G10, a G92 and a G52 shift")
        << QByteArray("G21 G90\nG10 L2 P2 X100 Y50 Z-120\nG55\nG0 X0 Y0 Z10\nG92 X5 Y5\nG52 Z1\nG1 Z0 F200\nX20\nY20\nM2\n") << 8 << 1 << cnc << QByteArray();
    QTest::newRow("inside a G81 series, returning to R")
        << QByteArray("G21 G90 G99 G10 L2 P1 Z-100\nG0 X0 Y0 Z10\nG81 X10 Y10 Z-5 R2 F150\nX20\nX30\nY20\nG80\nG0 Z20\nM2\n") << 5 << 1 << cnc << QByteArray();
    QTest::newRow("inside a G83 series, returning to the start, with a dwell, the retract below the start")
        << QByteArray("G21 G90 G98\nG0 X0 Y0 Z12\nG83 X5 Y5 Z-8 R1 Q2 F100\nX15\nG82 X25 Z-3 R1 P0.5\nX35\nG80\nM2\n") << 6 << 1 << cnc
        << QByteArray("G0 Z3");
    QTest::newRow("inside a subroutine's second call, with its arguments and the parameters set")
        << QByteArray("o<side> sub\nG1 X#1 F#<_speed>\nY#2\nX0\no<side> endsub\n#<_speed>=250\n#100=7\nG21 G90 G10 L2 P1 Z-100\nG0 X0 Y0 Z1\n"
                      "G1 Z-1 F100\no<side> call [10] [5]\no<side> call [20] [#100]\nG0 Z5\nM2\n")
        << 3 << 2 << cnc << QByteArray();
    QTest::newRow("the third pass of a while loop")
        << QByteArray("G21 G90 G10 L2 P1 Z-100\n#1=0\nG0 X0 Y0 Z1\no100 while [#1 LT 4]\nG1 X[#1*10] F100\nY[#1*5]\n#1=[#1+1]\no100 endwhile\nG0 Z5\nM2\n")
        << 6 << 3 << cnc << QByteArray();
    QTest::newRow("the second pass of a repeat")
        << QByteArray("G21 G91 G10 L2 P1 Z-100\nG0 X0 Y0\no7 repeat [3]\nG1 X5 F100\nY5\no7 endrepeat\nG90 G0 Z5\nM2\n") << 5 << 2 << cnc << QByteArray();
    QTest::newRow("Fanuc: the second pass of an M98 call, after its program number")
        << QByteArray("%\nO1000 (MAIN)\nG21 G90 G54 G10 L2 P1 Z-100\nG0 X0 Y0 Z5\nM98 P2000 L2\nG0 Z50\nM30\nO2000\nG91 G1 X10 F100\nY10\nG90\nM99\n%\n")
        << 10 << 2 << fanuc << QByteArray();
}

void tst_interp_restart::rebuildsTheStateAndTheMoves()
{
    QFETCH(QByteArray, program);
    QFETCH(int, line);
    QFETCH(int, pass);
    QFETCH(int, dialect);
    QFETCH(QByteArray, retract);
    Setup setup;
    setup.dialect = Dialect(dialect);
    setup.tools.insert(2, {12.5, 0.0, 6.0});
    MachineSetup machine;
    machine.dialect = setup.dialect;
    if (!retract.isEmpty())
        machine.retract = retract;
    TextLines lines(program);
    const RestartPlan plan = planRestart(lines, setup, machine, line, pass);
    QVERIFY2(plan.ok, qPrintable(plan.refusal));
    QVERIFY(plan.movesCompared > 0);

    // Read back as the machine gets it.
    const QByteArray text = written(lines, plan);
    TextLines restart(text);
    const Run full = follow(lines, setup, line, pass);
    const Run again = follow(restart, setup, plan.firstOfProgram, 1);
    const ModalState &a = full.before, &b = again.before;
    QCOMPARE(b.inches, a.inches);
    QCOMPARE(b.plane, a.plane);
    QCOMPARE(b.incremental, a.incremental);
    QCOMPARE(b.feedMode, a.feedMode);
    QVERIFY(near(b.feed, a.feed));
    QCOMPARE(b.frame, a.frame);
    QCOMPARE(b.tool, a.tool);
    QCOMPARE(b.spindle, a.spindle);
    QCOMPARE(b.speed, a.speed);
    QCOMPARE(b.mist, a.mist);
    QCOMPARE(b.flood, a.flood);
    QCOMPARE(b.retractToR, a.retractToR);
    for (std::size_t i = 0; i < kAxes; ++i) {
        QVERIFY2(near(offsetsOf(b)[i], offsetsOf(a)[i]), qPrintable(QStringLiteral("offset %1").arg(i)));
        QVERIFY2(near(b.machine[i], a.machine[i]), qPrintable(QStringLiteral("position %1").arg(i)));
    }
    QCOMPARE(again.moves.size(), full.moves.size());
    for (qsizetype m = 0; m < full.moves.size(); ++m) {
        QCOMPARE(int(again.moves[m].kind), int(full.moves[m].kind));
        for (std::size_t i = 0; i < kAxes; ++i)
            QVERIFY2(near(again.moves[m].end[i], full.moves[m].end[i]), qPrintable(QStringLiteral("move %1 axis %2").arg(m).arg(i)));
        QVERIFY(near(again.moves[m].feed, full.moves[m].feed));
    }

    // The approach comes down onto the start only once above it.
    QVERIFY(!plan.approach.isEmpty());
    bool above = false;
    for (const Move &m : plan.approach) {
        const double x = m.end[0], y = m.end[1], z = m.end[2];
        if (!above)
            QVERIFY2(z >= plan.start[2] - 1e-9 || (near(x, plan.start[0]) && near(y, plan.start[1])),
                     qPrintable(QStringLiteral("below the start at %1 %2 %3").arg(x).arg(y).arg(z)));
        above = above || (near(x, plan.start[0]) && near(y, plan.start[1]));
    }
    QVERIFY(near(plan.approach.last().end[2], plan.start[2]));
    QCOMPARE(int(plan.approach.last().kind), int(MoveKind::Feed));
}

void tst_interp_restart::refusals_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("pass");
    QTest::addColumn<QString>("reason");

    QTest::newRow("cutter compensation in force")
        << QByteArray("G21 G90\nG0 X0 Y0 Z1\nG41 D1 G1 X10 F100\nY10\nG40 X0\nM2\n") << 4 << 1
        << QStringLiteral("line 4 is under cutter compensation (G41 from an earlier line): entering compensation in the middle "
                          "of a path is unsafe; restart at the line that starts it, or after its G40");
    QTest::newRow("inside a thread")
        << QByteArray("G21 G18 G90\nS500 M3\nG0 X10 Z5\nG33 Z-20 K1.5\nZ-30 K1.5\nG0 X15\nM2\n") << 5 << 1
        << QStringLiteral("line 5 is inside a thread (G33 is in force): a thread cannot be picked up in the middle of a pass; "
                          "restart at the pass's first line");
    QTest::newRow("after the program's end")
        << QByteArray("G0 X1\nM2\nG0 X2\n") << 3 << 1
        << QStringLiteral("line 3 is never run: the program ends before it, or passes over it");
    QTest::newRow("a pass the line never has")
        << QByteArray("o1 repeat [2]\nG0 X1\no1 endrepeat\nM2\n") << 2 << 3 << QStringLiteral("line 2 runs 2 times, not 3");
    QTest::newRow("a pass that leaves its loop early")
        << QByteArray("#1=0\no1 while [1]\nG0 X#1\n#1=[#1+1]\no1 if [#1 GT 3]\no1 break\no1 endif\no1 endwhile\nM2\n") << 4 << 2
        << QStringLiteral("line 4 is in a pass that may leave its loop early (o1 break at line 6); restart at the line that starts it");
    QTest::newRow("a jump back to a line the restart leaves out")
        << QByteArray("#1=0\nN10 G0 X#1\n#1=#1+1\nIF[#1LT3]GOTO10\nM30\n") << 3 << 1
        << QStringLiteral("the restart from line 3 would not do what the program does: ");
}

void tst_interp_restart::refusals()
{
    QFETCH(QByteArray, program);
    QFETCH(int, line);
    QFETCH(int, pass);
    QFETCH(QString, reason);
    Setup setup;
    setup.dialect = program.contains("GOTO") ? Dialect::Fanuc : Dialect::LinuxCnc;
    TextLines lines(program);
    const RestartPlan plan = planRestart(lines, setup, MachineSetup{}, line, pass);
    QVERIFY(!plan.ok);
    QVERIFY(plan.pieces.isEmpty());
    QVERIFY2(plan.refusal.startsWith(reason), qPrintable(plan.refusal));
}

QTEST_GUILESS_MAIN(tst_interp_restart)
#include "tst_interp_restart.moc"
