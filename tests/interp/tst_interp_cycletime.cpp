#include "cycletime.h"

#include <QTest>

#include <cmath>
#include <numbers>

namespace {

// X Y and the rest: 6000 mm/min (100 mm/s) rapids, 100 mm/s²; Z: 1200 mm/min (20 mm/s), 50 mm/s²;
// A feeds at most 1800 °/min (30 °/s); a tool change takes 5 s.
interp::MachineSetup machine()
{
    interp::MachineSetup setup;
    setup.defaultRapid = 6000;
    setup.defaultAccel = 100;
    setup.axes[2].rapid = 1200;
    setup.axes[2].accel = 50;
    setup.axes[3].maxFeed = 1800;
    setup.toolChangeSeconds = 5;
    return setup;
}

struct Told
{
    qint64 line;
    int tool;
    double seconds;
};

struct Run
{
    double total = 0.0;
    double plain = 0.0;
    qint64 untimed = 0;
    QList<Told> told;
    QList<qint64> added; // the lines of the tool changes and moves, in the order they were fed
};

// The program followed by the interpreter, each line fed to the timer as it is followed.
Run timeOf(const QByteArray &program)
{
    interp::Interpreter interpreter;
    interp::TextLines lines(program);
    interp::CycleTimer timer(machine());
    Run run;
    timer.timed = [&](qint64 line, int tool, double seconds) { run.told.append({line, tool, seconds}); };
    QList<interp::Move> moves;
    QList<interp::Finding> findings;
    bool more = true;
    while (more) {
        const qint64 line = interpreter.state().line;
        const int tool = interpreter.state().modal.tool;
        more = interpreter.step(lines, moves, findings);
        if (interpreter.state().modal.tool != tool)
            run.added.append(line);
        for (const interp::Move &m : moves)
            run.added.append(m.line);
        timer.addLine(line, interpreter.state().modal, moves);
        moves.clear();
    }
    timer.finish();
    if (!findings.isEmpty())
        qWarning() << "finding" << findings.front().line << findings.front().reason;
    run.total = timer.total();
    run.plain = timer.plainTotal();
    run.untimed = timer.untimedMoves();
    return run;
}

} // namespace

class TestCycleTime : public QObject
{
    Q_OBJECT
private slots:
    void byHand_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("plain");
        QTest::addColumn<int>("untimed");

        // 10 mm/s at 100 mm/s²: 0.1 s and 0.5 mm up, the same down, 99 mm at 10 mm/s.
        QTest::addRow("long move") << QByteArray("G1 X100 F600") << 0.1 + 0.1 + 9.9 << 10.0 << 0;
        // 1 mm toward 100 mm/s: v² = a·L = 100, a peak of 10 mm/s, 0.1 s up and 0.1 s down.
        QTest::addRow("short move, a triangle") << QByteArray("G1 X1 F6000") << 0.2 << 0.01 << 0;
        // F60000 is held to X's 100 mm/s rapid rate; 100 mm is just long enough to reach it: 1 s + 1 s.
        QTest::addRow("feed held to the rapid rate") << QByteArray("G1 X100 F60000") << 2.0 << 1.0 << 0;
        // sin(θ/2) = √2/2: v² = 100·0.01·(√2/2)/(1 − √2/2) = 1 + √2, v = 1.55377 mm/s. Each move:
        // 0.1 s up, (10 − v)/100 s down, 10 − 0.5 − (100 − v²)/200 mm at 10 mm/s: 1.08567 s.
        QTest::addRow("90 degree corner") << QByteArray("G1 X10 F600\nY10") << 2.17134 << 2.0 << 0;
        // Back the way it came: it stops between, 2 × (0.2 s + 9 mm at 10 mm/s).
        QTest::addRow("reversal") << QByteArray("G1 X10 F600\nX0") << 2.2 << 2.0 << 0;
        // Straight on: as one 10 mm move. Under G61 each 5 mm stops: 2 × (0.2 s + 4 mm at 10 mm/s).
        QTest::addRow("straight on, blended") << QByteArray("G64 G1 X5 F600\nX10") << 1.1 << 1.0 << 0;
        QTest::addRow("straight on, exact stop") << QByteArray("G61 G1 X5 F600\nX10") << 1.2 << 1.0 << 0;
        QTest::addRow("straight on, exact stop G61.1") << QByteArray("G61.1 G1 X5 F600\nX10") << 1.2 << 1.0 << 0;
        // A rapid into a feed at 90°: the corner's 1.55377 mm/s as above. The rapid: a triangle with
        // peak² = (2·100·10 + 0 + v²)/2, peak 31.6419: 0.316419 + (31.6419 − 1.55377)/100 = 0.617299 s;
        // the feed 1.08567 s.
        QTest::addRow("rapid into a feed") << QByteArray("G0 X10\nG1 Y10 F600") << 1.70297 << 1.1 << 0;
        // A move to where the tool stands takes no time and leaves the corner to the moves either side:
        // straight on, as one 10 mm move. So does a new work offset: G55 X0 is where G54 X5 was.
        QTest::addRow("a move that goes nowhere") << QByteArray("G1 X5 F600\nX5\nX10") << 1.1 << 1.0 << 0;
        QTest::addRow("a new work offset, no jump")
            << QByteArray("G10 L2 P2 X5\nG1 X5 F600\nG55 X0\nX5") << 1.1 << 1.0 << 0;
        // The dwell stops the machine between two moves that would otherwise run as one: 1.1 + 2.5 + 1.1.
        QTest::addRow("dwell") << QByteArray("G1 X10 F600\nG4 P2.5\nG1 X20") << 4.7 << 4.5 << 0;
        // 5 s, then 1.1 s.
        QTest::addRow("tool change") << QByteArray("T1 M6\nG1 X10 F600") << 6.1 << 6.0 << 0;
        // 1/30 min = 2 s as programmed, 5 mm/s: 0.05 s and 0.125 mm up, the same down, 9.75 mm at 5 mm/s.
        QTest::addRow("inverse time") << QByteArray("G93 G1 X10 F30") << 2.05 << 2.0 << 0;
        // 0.5 mm/turn at 1200 rpm: 10 mm/s, as the long move.
        QTest::addRow("per turn") << QByteArray("S1200 M3\nG95 G1 X10 F0.5") << 1.1 << 1.0 << 0;
        // No spindle speed: the move has no speed and is not timed.
        QTest::addRow("per turn without S") << QByteArray("G95 G1 X10 F0.5") << 0.0 << 0.0 << 1;
        // 50 mm, 0.6 along X and 0.8 along Z: Z holds it to 20/0.8 = 25 mm/s and 50/0.8 = 62.5 mm/s².
        // 0.4 s and 5 mm up, the same down, 40 mm at 25 mm/s.
        QTest::addRow("rapid held by one slow axis") << QByteArray("G0 X30 Z40") << 0.8 + 1.6 << 2.0 << 0;
        // A alone: 90°, held to 30 °/s at 100 °/s²: 0.3 s and 4.5° up, the same down, 81° at 30 °/s.
        QTest::addRow("rotary alone, held by its top feed") << QByteArray("G1 A90 F6000") << 3.3 << 3.0 << 0;
        // Centre (10, 0), radius 10, clockwise a quarter (5π mm), counter-clockwise three (15π mm).
        // v²/r <= 100: 31.6228 mm/s, 0.316228 s and 5 mm up, the same down, the rest at 31.6228 mm/s.
        QTest::addRow("arc, quarter clockwise") << QByteArray("G2 X10 Y10 I10 F6000") << 0.812957 << 0.05 * std::numbers::pi << 0;
        QTest::addRow("arc, three quarters counter-clockwise")
            << QByteArray("G3 X10 Y10 I10 F6000") << 1.80642 << 0.15 * std::numbers::pi << 0;
        // A full circle of radius 10 dropping 10 mm: √((20π)² + 10²) = 63.6227 mm at 10 mm/s. X and Y
        // take 20π/63.6227 of it, 100 mm/s² over that is 101.259 mm/s² (Z allows 318): 2 × 0.0987571 s
        // up and down, 63.6227 − 0.987571 mm at 10 mm/s.
        QTest::addRow("helix, full circle") << QByteArray("G2 X0 Y0 Z-10 I10 F600") << 6.46102 << 6.36227 << 0;
        // 1000 moves of 0.01 mm straight on toward 100 mm/s. The oldest leaves the window of 128 planned
        // to stop at the newest's end, so its end is no faster than stopping in the 127 after it allows:
        // v² = 2·100·1.27, v = √254. 127 moves up to v, 127 down, 2 × 0.159374 s; each of the 746
        // between starts and ends at v and peaks at √(v² + 100·0.01) = √255 in its middle:
        // 2 × (√255 − √254)/100 s each.
        QByteArray tiny = "G91 G1 X0.01 F6000\n";
        for (int i = 1; i < 1000; ++i)
            tiny += "X0.01\n";
        QTest::addRow("tiny moves, the window bounds the speed") << tiny << 0.786370 << 0.1 << 0;
    }

    void byHand()
    {
        QFETCH(QByteArray, program);
        QFETCH(double, seconds);
        QFETCH(double, plain);
        QFETCH(int, untimed);
        const Run run = timeOf(program);
        QVERIFY2(std::abs(run.total - seconds) < 2e-5, qPrintable(QString::number(run.total, 'f', 6)));
        QVERIFY2(std::abs(run.plain - plain) < 2e-5, qPrintable(QString::number(run.plain, 'f', 6)));
        QCOMPARE(run.untimed, untimed);
    }

    // A program with tool changes, a dwell, a reversal and a loop of 300 moves, well past the window,
    // each line fed as the interpreter follows it: one time for every move and tool change, in the
    // order they came, with the tool in the spindle, adding up to the total worked out by hand.
    void aCornerAfterARotaryMove()
    {
        // The corner into the third move is the same whether the first turned A or not: the second,
        // in X Y alone, leaves no turn of A behind it. (Each move reaches its feed, so the third's
        // time is its corner's and its own.)
        const Run turned = timeOf("G1 X10 A10 F600\nY10\nX0 A20\n");
        const Run still = timeOf("G1 X10 F600\nY10\nX0 A10\n");
        QCOMPARE(turned.told.size(), 3);
        QCOMPARE(still.told.size(), 3);
        QCOMPARE(turned.told[2].seconds, still.told[2].seconds);
    }

    void aProgramThroughTheInterpreter()
    {
        const QByteArray program = "T1 M6\n"           // 5 s
                                   "G1 X10 F600\n"     // 1.1 s
                                   "G4 P0.5\n"         // 0.5 s
                                   "G1 X0\n"           // 1.1 s, from rest
                                   "#1 = 0\n"
                                   "o100 while [#1 lt 300]\n"
                                   "#1 = [#1 + 1]\n"
                                   "G1 X#1\n"          // 300 mm, reversed into, then straight on: 0.2 + 29.9 s
                                   "o100 endwhile\n"
                                   "T2 M6\n"           // 5 s
                                   "G0 X330 Z40\n"     // as the rapid held by Z: 2.4 s
                                   "M30\n";
        const Run run = timeOf(program);
        QCOMPARE(run.told.size(), run.added.size());
        QCOMPARE(run.told.size(), 2 + 3 + 300 + 1);
        double sum = 0.0;
        for (qsizetype i = 0; i < run.told.size(); ++i) {
            QCOMPARE(run.told[i].line, run.added[i]);
            QCOMPARE(run.told[i].tool, i < run.told.size() - 2 ? 1 : 2);
            sum += run.told[i].seconds;
        }
        QCOMPARE(run.told[1].seconds, 1.1);
        QCOMPARE(run.told[2].seconds, 0.5);
        QVERIFY(std::abs(sum - run.total) < 1e-9);
        QVERIFY2(std::abs(run.total - (5 + 1.1 + 0.5 + 1.1 + 30.1 + 5 + 2.4)) < 1e-6,
                 qPrintable(QString::number(run.total, 'f', 6)));
    }

    // The plain time of one move on its own, from where the move before it ended.
    void plainSecondsOfOneMove()
    {
        interp::Move before;
        before.kind = interp::MoveKind::Feed;
        before.end = {10, 0, 0};
        before.offset = {5, 0, 0}; // the machine stands at X15
        interp::Move move = before;
        move.end = {-5, 0, 0};
        move.offset = {20, 0, 0}; // a new frame: X15 again, no motion
        move.feed = 600;
        const interp::ModalState modes;
        QCOMPARE(interp::CycleTimer::plainSeconds(move, modes, &before, machine()), 0.0);
        move.end = {5, 0, 0}; // 10 mm at 10 mm/s
        QCOMPARE(interp::CycleTimer::plainSeconds(move, modes, &before, machine()), 1.0);
        move.kind = interp::MoveKind::Rapid; // 100 mm/s
        QCOMPARE(interp::CycleTimer::plainSeconds(move, modes, &before, machine()), 0.1);
    }
};

QTEST_GUILESS_MAIN(TestCycleTime)
#include "tst_interp_cycletime.moc"
