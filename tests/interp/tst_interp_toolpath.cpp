#include "pathrun.h"
#include "program.h"
#include "storeclaim.h"
#include "testenv.h"
#include "toolpath.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace interp;
using tessarc::LineNumber;

namespace {

// What a plain pass of the interpreter over the text makes, and the state it is in as it first
// comes to each line of the program (and whether it comes there at the top level).
struct Plain
{
    QList<Move> moves;
    QList<Finding> findings;
    QHash<qint64, RunState> arrival;
    QSet<qint64> topLevel;
};

Plain plainPass(const QByteArray &text)
{
    TextLines lines(text);
    Interpreter interpreter;
    Plain p;
    auto arrive = [&p](const RunState &s) {
        if (s.file.isEmpty() && !p.arrival.contains(s.line)) {
            p.arrival.insert(s.line, s);
            if (s.atTopLevel())
                p.topLevel.insert(s.line);
        }
    };
    for (int steps = 0; steps < 1'000'000; ++steps) {
        arrive(interpreter.state());
        if (!interpreter.step(lines, p.moves, p.findings))
            break;
    }
    arrive(interpreter.state());
    return p;
}

double asFloat(double v)
{
    return static_cast<float>(v);
}

// The toolpath holds what the plain pass made, as floats; the state before every line the plain
// pass comes to at the top level is found, and any state found is the plain pass's.
void expectPlain(const Toolpath &path, const QByteArray &text)
{
    const Plain p = plainPass(text);
    QVERIFY(path.isComplete());
    QCOMPARE(path.moveCount(), p.moves.size());
    const QList<Move> got = path.moves(0, path.moveCount());
    QCOMPARE(got.size(), p.moves.size());
    QHash<qint64, QList<qint64>> byLine;
    for (qsizetype i = 0; i < got.size(); ++i) {
        const Move &g = got[i];
        const Move &e = p.moves[i];
        const QByteArray where = QByteArray("move ") + QByteArray::number(i) + " of line " + QByteArray::number(e.line);
        QVERIFY2(g.kind == e.kind && g.line == e.line && g.plane == e.plane && g.turn == e.turn && g.tool == e.tool,
                 where.constData());
        for (std::size_t a = 0; a < kAxes; ++a)
            QVERIFY2(g.end[a] == asFloat(e.end[a]), where.constData());
        for (std::size_t a = 0; a < 3; ++a)
            QVERIFY2(g.offset[a] == asFloat(e.offset[a]), where.constData());
        QVERIFY2(g.toolLength == asFloat(e.toolLength) && g.feed == asFloat(e.feed), where.constData());
        if (e.kind == MoveKind::Arc) {
            // Two coordinates are kept, the one along the normal is the start's.
            for (std::size_t a = 0; a < 3; ++a)
                QVERIFY2(qAbs(g.centre[a] - e.centre[a]) < 1e-3, where.constData());
        }
        if (e.kind == MoveKind::Dwell)
            QVERIFY2(g.seconds == asFloat(e.seconds), where.constData());
        byLine[e.line].append(i);
    }
    QCOMPARE(path.findings(), p.findings);
    TextLines lines(text);
    for (qint64 n = 1; n <= lines.lineCount(); ++n) {
        QCOMPARE(path.movesOfLines(n, n), byLine.value(n));
        QString error;
        const std::optional<RunState> s = path.stateBefore(n, lines, {}, error);
        if (p.topLevel.contains(n))
            QVERIFY2(s, qPrintable(QStringLiteral("line %1: %2").arg(n).arg(error)));
        if (s)
            QVERIFY2(*s == p.arrival.value(n), qPrintable(QStringLiteral("the state before line %1").arg(n)));
    }
}

// A program loaded into stores of its own, as the window holds one.
struct Opened
{
    Opened(const QByteArray &text, const QString &stem)
    {
        claim = program.useStores(testEnvironment().root(), stem);
        program.recordLength = 128;
        program.load(writeTestFile(stem + QStringLiteral(".nc"), text), {});
    }
    tessarc::Program program;
    tessarc::StoreClaim claim;
};

QByteArray joined(const QList<QByteArray> &lines)
{
    return lines.join("\r\n") + "\r\n";
}

// 3,000 lines: moves, full circles in two planes, a subroutine defined at the top and called in the
// middle, the end, and lines after it that are never read.
QList<QByteArray> longProgram()
{
    QList<QByteArray> lines{"G21 G90 G17 F600", "o100 sub", "G1 X#1 Y5", "o100 endsub"};
    while (lines.size() < 2997) {
        const qint64 k = lines.size() + 1;
        if (k == 1500)
            lines.append("o100 call [7]");
        else if (k % 50 == 0)
            lines.append("G18 G2 I5 F" + QByteArray::number(300 + k % 7));
        else if (k % 50 == 1)
            lines.append("G17");
        else if (k % 10 == 0)
            lines.append("G2 I4");
        else
            lines.append("G1 X" + QByteArray::number(k % 97) + " Y" + QByteArray::number(k % 89) + " Z-" +
                         QByteArray::number(k % 5));
    }
    lines << "M30" << "G1 X99" << "G1 Y99";
    return lines;
}

// Waits for the run to end; its last word.
std::pair<bool, QString> ended(QSignalSpy &finished)
{
    if (!finished.wait(60000))
        return {false, QStringLiteral("no end")};
    const QList<QVariant> last = finished.takeLast();
    return {last.at(0).toBool(), last.at(1).toString()};
}

} // namespace

class TestToolpath : public QObject
{
    Q_OBJECT

private slots:
    void readsBackWhatItFollowed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("moves and arcs") << QByteArray("G21 G90 F500\nG0 X1 Y2 Z3\nG1 X10 Y-4.25 Z-1\nG2 X20 Y-4.25 I5 J0\n"
                                                      "G18 G3 X30 Z-1 I5 K0\nG19 G2 Y5 Z4 J4.625 K2.5\nG17 G4 P1.5\n"
                                                      "G3 X10 Y-4.25 I-10 P2\nM30\n");
        QTest::newRow("frames, tools and rotary axes")
            << QByteArray("G10 L2 P2 X100 Y50\nG55 G0 X1 Y1\nT3 M6\nG43 H3\nG1 X5 A90 F100\nG1 X6 B45\nG92 X0\n"
                          "G1 X2 C10 U1\nG54 G49 G0 X0 Y0 A0 B0 C0 U0\nM2\n");
        QTest::newRow("a subroutine in a loop")
            << QByteArray("G90 F300\no7 sub\nG1 X#1 Y[#1*2]\nG2 I1\no7 endsub\n#2 = 0\no8 while [#2 LT 4]\n"
                          "o7 call [#2]\n#2 = [#2 + 1]\no8 endwhile\nG0 Z5\nM30\n");
        QTest::newRow("findings") << QByteArray("G1 X1 F100\nG66 X2\nG1 X3 X4\nG2 X10 Y10 I0.1 J0\nG1 Y2\n");
        QTest::newRow("no moves") << QByteArray("(only a comment)\n");
    }

    void readsBackWhatItFollowed()
    {
        QFETCH(QByteArray, text);
        Opened opened(text, QStringLiteral("read"));
        PathRun run(opened.program);
        run.setCheckpointEvery(2); // chunks of two lines, so reading crosses them
        QSignalSpy finished(&run, &PathRun::finished);
        QSignalSpy progress(&run, &PathRun::progress);
        run.start();
        const auto [complete, message] = ended(finished);
        QVERIFY2(complete, qPrintable(message));
        QVERIFY(run.isCurrent());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), opened.program.lineCount());
        expectPlain(run.toolpath(), text);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QFile::exists(run.file()));
        opened.program.removeStores();
        QVERIFY(!QFile::exists(run.file()));
    }

    void followsAnEditFromTheCheckpointBefore_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("removed");
        QTest::addColumn<QList<QByteArray>>("inserted");
        QTest::addColumn<qint64>("most");  // lines followed again at most
        QTest::addColumn<qint64>("least"); // and at least
        QTest::newRow("one line in the middle") << qint64(2000) << qint64(1) << QList<QByteArray>{"G1 X7 Y7 Z-1"} << qint64(300)
                                                << qint64(1);
        QTest::newRow("lines put in") << qint64(2000) << qint64(0) << QList<QByteArray>{"G0 Z9", "G2 I3"} << qint64(300)
                                      << qint64(1);
        QTest::newRow("a line taken out") << qint64(2001) << qint64(1) << QList<QByteArray>{} << qint64(300) << qint64(1);
        QTest::newRow("lines taken out across checkpoints") << qint64(1150) << qint64(250) << QList<QByteArray>{}
                                                            << qint64(200) << qint64(1);
        QTest::newRow("the subroutine's body, called later")
            << qint64(3) << qint64(1) << QList<QByteArray>{"G1 X#1 Y6"} << qint64(1800) << qint64(1400);
        QTest::newRow("the mode of the rest") << qint64(2500) << qint64(1) << QList<QByteArray>{"G91"} << qint64(700)
                                              << qint64(490);
        QTest::newRow("after the end") << qint64(2999) << qint64(1) << QList<QByteArray>{"G1 X1"} << qint64(0) << qint64(0);
    }

    void followsAnEditFromTheCheckpointBefore()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, removed);
        QFETCH(QList<QByteArray>, inserted);
        QFETCH(qint64, most);
        QFETCH(qint64, least);
        QList<QByteArray> lines = longProgram();
        Opened opened(joined(lines), QStringLiteral("edit"));
        PathRun run(opened.program);
        run.setCheckpointEvery(100);
        QSignalSpy finished(&run, &PathRun::finished);
        run.start();
        QVERIFY(ended(finished).first);

        opened.program.replaceLines(LineNumber(first), removed, inserted);
        auto [complete, message] = ended(finished);
        QVERIFY2(complete, qPrintable(message));
        QVERIFY(run.report().incremental);
        QVERIFY2(run.report().linesFollowed <= most && run.report().linesFollowed >= least, qPrintable(message));
        lines.remove(first - 1, removed);
        for (qsizetype i = 0; i < inserted.size(); ++i)
            lines.insert(first - 1 + i, inserted[i]);
        expectPlain(run.toolpath(), joined(lines));
        if (QTest::currentTestFailed())
            return;

        // Two changes before the run after the first has ended are followed together.
        opened.program.replaceLines(LineNumber(1000), 1, {"G1 X3"});
        opened.program.replaceLines(LineNumber(1500), 1, {"o100 call [8]", "G0 X0"});
        QTRY_VERIFY_WITH_TIMEOUT(run.isCurrent() && !run.isRunning(), 60000);
        lines[999] = "G1 X3";
        lines[1499] = "o100 call [8]";
        lines.insert(1500, "G0 X0");
        expectPlain(run.toolpath(), joined(lines));
    }

    void linesPutAfterTheEnd()
    {
        // The call looked for its subroutine to the program's end: one put after it is found.
        Opened opened("G1 X1 F10\no9 call\nG1 X2\nM30\n(end)\n", QStringLiteral("end"));
        PathRun run(opened.program);
        QSignalSpy finished(&run, &PathRun::finished);
        run.start();
        QVERIFY(ended(finished).first);
        QCOMPARE(run.toolpath().findingCount(), 1);
        opened.program.replaceLines(LineNumber(6), 0, {"o9 sub", "G1 X9", "o9 endsub"});
        QVERIFY(ended(finished).first);
        QVERIFY(run.report().incremental);
        expectPlain(run.toolpath(), "G1 X1 F10\no9 call\nG1 X2\nM30\n(end)\no9 sub\nG1 X9\no9 endsub\n");
    }

    void cancelledOrChangedWhileRunning()
    {
        // A loop without end is followed until it is cancelled.
        QList<QByteArray> lines{"G1 X1 F100", "o1 while [1 EQ 1]", "G1 X2", "G1 X3", "o1 endwhile", "M30"};
        Opened opened(joined(lines), QStringLiteral("cancel"));
        PathRun run(opened.program);
        QSignalSpy finished(&run, &PathRun::finished);
        QSignalSpy progress(&run, &PathRun::progress);
        run.start();
        QVERIFY(progress.wait(10000));
        run.cancel();
        auto [complete, message] = ended(finished);
        QVERIFY(!complete);
        QVERIFY2(message.startsWith(QStringLiteral("Stopped")), qPrintable(message));
        QVERIFY(!run.isCurrent());
        QVERIFY(!QFile::exists(run.file()));
        QVERIFY(!QFile::exists(run.file() + QStringLiteral(".tmp")));

        // A change stops the run under way and follows the program as it now is.
        progress.clear();
        opened.program.replaceLines(LineNumber(3), 0, {"G0 Z1"});
        QVERIFY(progress.wait(10000));
        opened.program.replaceLines(LineNumber(2), 1, {"o1 while [1 EQ 0]"});
        QTRY_VERIFY_WITH_TIMEOUT(run.isCurrent() && !run.isRunning(), 60000);
        QVERIFY(std::any_of(finished.begin(), finished.end(), [](const QList<QVariant> &f) {
            return !f.at(0).toBool() && f.at(1).toString().contains(QStringLiteral("changed"));
        }));
        lines.insert(2, "G0 Z1");
        lines[1] = "o1 while [1 EQ 0]";
        expectPlain(run.toolpath(), joined(lines));
        if (QTest::currentTestFailed())
            return;

        // Another program loaded while a run goes on (its stores emptied under it) is followed
        // whole, and nothing of the one before is left in its toolpath.
        progress.clear();
        opened.program.replaceLines(LineNumber(2), 1, {"o1 while [1 EQ 1]"});
        QVERIFY(progress.wait(10000));
        const QByteArray other = "G0 X5 Y5\nG1 Z-1 F50\nG2 I-5\nM30\n";
        opened.program.load(writeTestFile(QStringLiteral("other.nc"), other), {});
        QTRY_VERIFY_WITH_TIMEOUT(run.isCurrent() && !run.isRunning(), 60000);
        QVERIFY(!run.report().incremental);
        expectPlain(run.toolpath(), other);
    }

    void waitsForTheProgramToBeFree()
    {
        // A tool holding the program lets events through while it rewrites the store: what the run
        // read meanwhile is not put in force until the tool is done.
        const QByteArray text = joined(longProgram());
        Opened opened(text, QStringLiteral("busy"));
        PathRun run(opened.program);
        QSignalSpy finished(&run, &PathRun::finished);
        QVERIFY(opened.program.lock.take());
        run.start();
        QTest::qWait(500);
        QVERIFY(finished.isEmpty() && !run.isCurrent() && !QFile::exists(run.file()));
        opened.program.lock.release();
        QVERIFY(ended(finished).first);

        // Another tool table is followed at once, over the whole program.
        const QString table = writeTestFile(QStringLiteral("busy.tbl"), "T3 P3 Z12.5\n");
        Setup setup;
        QString error;
        QVERIFY2(readToolTable(table, false, setup.tools, error), qPrintable(error));
        opened.program.replaceLines(LineNumber(5), 1, {"T3 M6 G43 H3"});
        run.setSetup(setup);
        QVERIFY(ended(finished).first);
        QVERIFY(!run.report().incremental);
        const QList<qint64> afterChange = run.toolpath().movesOfLines(6, 6);
        QVERIFY(!afterChange.isEmpty());
        QCOMPARE(run.toolpath().moves(afterChange.front(), 1).front().toolLength, 12.5);
        opened.program.replaceLines(LineNumber(5), 1, {longProgram()[4]});
        run.setSetup({});
        QVERIFY(ended(finished).first);

        // A toolpath file removed by hand is written afresh after the next change.
        QVERIFY(QFile::remove(run.file()));
        opened.program.replaceLines(LineNumber(10), 1, {"G0 X1"});
        const auto [complete, message] = ended(finished);
        QVERIFY2(complete && !run.report().incremental, qPrintable(message));
        QList<QByteArray> lines = longProgram();
        lines[9] = "G0 X1";
        expectPlain(run.toolpath(), joined(lines));
    }

    // A toolpath file cut short, cut to its header or shorter, another file's bytes, or its table
    // changed in its last byte: refused, with the reason, and nothing read of it.
    void damagedFileIsRefused()
    {
        Opened opened(joined(longProgram()), QStringLiteral("damaged"));
        PathRun run(opened.program);
        QSignalSpy finished(&run, &PathRun::finished);
        run.start();
        QVERIFY(ended(finished).first);
        const QString copy = testEnvironment().path(QStringLiteral("damaged.path"));
        const std::pair<qint64, const char *> damages[] = { // bytes kept: -1 another file's, -2 its last changed
            {200, "outside"}, {kHeaderBytes, "outside"}, {10, "not a toolpath"}, {-1, "not a toolpath"}, {-2, "damaged"}};
        for (const auto &[keep, reason] : damages) {
            QFile::remove(copy);
            QVERIFY(QFile::copy(run.file(), copy));
            if (keep == -1) {
                writeBytes(copy, QByteArray("G1 X1 Y2 Z3 F100\r\n").repeated(10));
            } else if (keep == -2) {
                QByteArray bytes = readBytes(copy);
                bytes.back() = static_cast<char>(bytes.back() ^ 1);
                writeBytes(copy, bytes);
            } else {
                QVERIFY(QFile::resize(copy, keep));
            }
            Toolpath damaged;
            QString error;
            QVERIFY(!damaged.open(copy, error));
            QVERIFY2(error.contains(QLatin1String(reason)), qPrintable(error));
            QVERIFY(!damaged.isOpen() && damaged.moveCount() == 0);
        }
    }

    // A run whose toolpath's place is a folder, or whose store is gone, ends never complete.
    void failureIsNeverComplete()
    {
        for (const bool folder : {true, false}) {
            Opened opened("G1 X1 F100\nG1 X2\n", QStringLiteral("fail"));
            PathRun run(opened.program);
            if (folder) {
                QVERIFY(QDir().mkpath(run.file()));
                writeBytes(run.file() + QStringLiteral("/inside"), "x");
            } else {
                QVERIFY(QFile::remove(opened.program.store));
            }
            QSignalSpy finished(&run, &PathRun::finished);
            run.start();
            const auto [complete, message] = ended(finished);
            QVERIFY(!complete);
            QVERIFY2(message.startsWith(QStringLiteral("The toolpath could not be")) && message.contains(QStringLiteral("fail.qen.tmp")),
                     qPrintable(message));
            QVERIFY(!run.isCurrent() && !run.toolpath().isOpen());
            QVERIFY(!QFile::exists(run.file() + QStringLiteral(".tmp")));
            QDir(run.file()).removeRecursively();
        }
    }
};

VORNEXA_TEST_MAIN(TestToolpath)
#include "tst_interp_toolpath.moc"
