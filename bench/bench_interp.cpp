// The interpreter's figure of vornexa-bench, run by name (--only interp): the benchmark program
// followed by the interpreter into its toolpath file, on the run's own thread, set against one
// read pass of the store (4 MiB blocks); the toolpath file's bytes a move; the peak resident
// memory of the process during the run; an edit of one line in the middle, from the change until
// the toolpath is current again; and the state before a line picked at random.
// Targets: at most 3 times the read pass, under 150 MB, at most 32 bytes a move, under 0.2 s, under
// 1 ms.
//
// The cycle time's figure (--only cycletime): the interpreter's pass over the benchmark program in
// memory, with and without the cycle timer fed line by line, and the planned total against the
// plain sum of lengths over speeds. Target: the timer adds under 25 % to the pass.

#include "benchtools.h"

#include "check.h"
#include "cycletime.h"

#include "linesource.h"
#include "pathrun.h"
#include "program.h"
#include "storeclaim.h"
#include "toolpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

QStringList interpFigures();
int runInterpFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;

namespace {

constexpr int kRecLen = 500;
constexpr int kEdits = 9;
constexpr int kStates = 1000;

// Waits for the run's next end; whether it made the toolpath current.
bool waitForEnd(interp::PathRun &run)
{
    QEventLoop loop;
    bool complete = false;
    QString message;
    const auto c = QObject::connect(&run, &interp::PathRun::finished, &loop, [&](bool ok, const QString &text) {
        complete = ok;
        message = text;
        loop.quit();
    });
    loop.exec();
    QObject::disconnect(c);
    check(complete, QStringLiteral("the toolpath run failed: %1").arg(message));
    return complete;
}

QString ms(double s)
{
    return QStringLiteral("%1 ms").arg(s * 1e3, 0, 'f', 3);
}

} // namespace

QStringList interpFigures()
{
    return {QStringLiteral("interp"), QStringLiteral("cycletime")};
}

namespace {

// A mid-sized mill: X and Y at 15 m/min and 1000 mm/s², Z at 10 m/min and 500 mm/s², feeds up to
// 8 m/min.
interp::MachineSetup benchMachine()
{
    interp::MachineSetup setup;
    for (interp::AxisSetup &axis : setup.axes) {
        axis.rapid = 15000;
        axis.maxFeed = 8000;
        axis.accel = 1000;
    }
    setup.axes[2].rapid = 10000;
    setup.axes[2].accel = 500;
    setup.toolChangeSeconds = 6;
    return setup;
}

int runCycleTimeFigure(qint64 lines, int runs, QByteArray (*programLine)(qint64))
{
    QByteArray text;
    for (qint64 k = 1; k <= lines; ++k)
        text.append(programLine(k)).append("\r\n", 2);
    say(QStringLiteral("vornexa-bench cycletime: program of %1 lines (%2 bytes) in memory; %3 runs")
            .arg(lines)
            .arg(text.size())
            .arg(runs));
    const interp::MachineSetup setup = benchMachine();
    qint64 moveCount = 0;
    qint64 toldCount = 0;
    double total = 0.0;
    double plain = 0.0;
    const auto pass = [&](bool timing) {
        interp::TextLines source(text);
        interp::Interpreter interpreter;
        interp::CycleTimer timer(setup);
        qint64 told = 0;
        timer.timed = [&told](qint64, int, double) { ++told; };
        QList<interp::Move> moves;
        QList<interp::Finding> findings;
        qint64 count = 0;
        bool more = true;
        while (more) {
            const qint64 line = interpreter.state().line;
            more = interpreter.step(source, moves, findings);
            count += moves.size();
            if (timing)
                timer.addLine(line, interpreter.state().modal, moves);
            moves.clear();
            findings.clear();
        }
        timer.finish();
        moveCount = count;
        if (timing) {
            toldCount = told;
            total = timer.total();
            plain = timer.plainTotal();
        }
    };
    // The whole check as the window and --check run it: the interpreter, the findings, the extents,
    // the time and each line's time, in one pass.
    interp::MachineSetup limited = setup;
    for (interp::AxisSetup &axis : limited.axes) {
        axis.limited = true;
        axis.min = -1e6;
        axis.max = 1e6;
    }
    limited.spindleMax = 1e6;
    interp::CheckRun checked;
    const auto checkPass = [&] {
        interp::TextLines source(text);
        checked = interp::checkProgram(source, {}, limited, true);
    };
    const std::vector<Times> t = timeJobs(runs, {Job{{}, [&] { pass(false); }, {}},
                                                 Job{{}, [&] { pass(true); }, [&] {
                                                         check(toldCount == moveCount,
                                                               QStringLiteral("%1 moves timed of %2").arg(toldCount).arg(moveCount));
                                                     }},
                                                 Job{{}, checkPass, [&] {
                                                         check(checked.summary.moves == moveCount,
                                                               QStringLiteral("the check saw %1 moves of %2").arg(checked.summary.moves).arg(moveCount));
                                                     }}});
    // The timer alone, over the moves of the pass kept in memory (at most 2,000,000 of them), under
    // the modes the benchmark program leaves on every line.
    std::vector<interp::Move> kept;
    {
        interp::TextLines source(text);
        interp::Interpreter interpreter;
        QList<interp::Move> moves;
        QList<interp::Finding> findings;
        while (interpreter.step(source, moves, findings) && kept.size() < 2'000'000) {
            kept.insert(kept.end(), moves.cbegin(), moves.cend());
            moves.clear();
        }
    }
    std::vector<double> alone;
    for (int run = 0; run < runs; ++run) {
        interp::CycleTimer timer(setup);
        qint64 told = 0;
        timer.timed = [&told](qint64, int, double) { ++told; };
        const interp::ModalState modes;
        QElapsedTimer clock;
        clock.start();
        for (const interp::Move &move : kept)
            timer.add(move, modes);
        timer.finish();
        alone.push_back(static_cast<double>(clock.nsecsElapsed()) / static_cast<double>(std::max<std::size_t>(1, kept.size())));
        check(told == static_cast<qint64>(kept.size()), QStringLiteral("the timer told %1 of %2 moves").arg(told).arg(kept.size()));
    }
    const double ratio = t[1].median / t[0].median;
    const double perMove = (t[1].median - t[0].median) / static_cast<double>(std::max<qint64>(1, moveCount)) * 1e9;
    say(QStringLiteral("interpreter pass: median %1 (runs %2 to %3); with the cycle timer: median %4 (runs %5 to %6); "
                       "ratio %7 (target < 1.25)%8; the timer's share %9 ns a move over %10 moves")
            .arg(seconds(t[0].median), seconds(t[0].low), seconds(t[0].high), seconds(t[1].median), seconds(t[1].low),
                 seconds(t[1].high), QString::number(ratio, 'f', 3), ratio < 1.25 ? QString() : QStringLiteral(" MISSED"))
            .arg(perMove, 0, 'f', 1)
            .arg(moveCount));
    const double checkRatio = t[2].median / t[0].median;
    say(QStringLiteral("the check with its time (findings, extents, lengths, each line's time): median %1 (runs %2 to %3); "
                       "ratio to the interpreter's pass %4 (target <= 1.25)%5; %6 findings")
            .arg(seconds(t[2].median), seconds(t[2].low), seconds(t[2].high), QString::number(checkRatio, 'f', 3),
                 checkRatio <= 1.25 ? QString() : QStringLiteral(" MISSED"))
            .arg(checked.findings.size()));
    say(QStringLiteral("the timer alone over %1 moves kept in memory: median %2 ns a move")
            .arg(kept.size())
            .arg(median(alone), 0, 'f', 1));
    say(QStringLiteral("cycle time of the program: planned %1 s, plain sum %2 s (lengths over speeds, no acceleration); "
                       "planned / plain %3")
            .arg(total, 0, 'f', 1)
            .arg(plain, 0, 'f', 1)
            .arg(plain > 0 ? total / plain : 0.0, 0, 'f', 4));
    return 0;
}

} // namespace

int runInterpFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    if (figure == QLatin1String("cycletime"))
        return runCycleTimeFigure(lines, runs, programLine);
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString text = folder.filePath(QStringLiteral("big.nc"));
    writeProgram(text, lines, programLine);
    say(QStringLiteral("vornexa-bench %1: program of %2 lines (%3 bytes); %4 runs; scratch folder %5")
            .arg(figure)
            .arg(lines)
            .arg(QFileInfo(text).size())
            .arg(runs)
            .arg(folder.path()));

    tessarc::Program program;
    const tessarc::StoreClaim claim = program.useStores(folder.path(), QStringLiteral("interp"));
    program.recordLength = kRecLen;
    program.load(text, {});
    check(program.lineCount() == lines, QStringLiteral("the program loaded with %1 lines").arg(program.lineCount()));

    interp::PathRun run(program);
    const QString file = run.file();
    qint64 peak = 0;
    std::vector<double> passSeconds;
    const std::vector<Times> full = timeJobs(
        runs, {Job{{}, [&] { readPass(program.store); }, {}},
               Job{[&] {
                       QFile::remove(file);
                       peakResident(true);
                   },
                   [&] {
                       run.start(true);
                       waitForEnd(run);
                   },
                   [&] {
                       peak = std::max(peak, peakResident(false));
                       passSeconds.push_back(run.report().seconds);
                       check(run.isCurrent() && !run.report().incremental && run.report().linesFollowed >= lines,
                             QStringLiteral("the run followed %1 lines").arg(run.report().linesFollowed));
                   }}});
    const interp::Toolpath &path = run.toolpath();
    const double perMove = static_cast<double>(QFileInfo(file).size()) / static_cast<double>(std::max<qint64>(1, path.moveCount()));
    const double ratio = full[1].median / full[0].median;
    say(QStringLiteral("run to the toolpath file: median %1 (runs %2 to %3); floor (one read pass of the store in 4 MiB "
                       "blocks) %4; ratio %5 (target <= 3)%6; processor time %7; the pass on its thread %8")
            .arg(seconds(full[1].median), seconds(full[1].low), seconds(full[1].high), seconds(full[0].median),
                 QString::number(ratio, 'f', 2), ratio <= 3 ? QString() : QStringLiteral(" MISSED"),
                 seconds(full[1].cpuMedian), seconds(median(passSeconds))));
    qint64 checkpointBytes = 0;
    qint64 findingBytes = 0;
    qint64 stateRecords = 0;
    for (const interp::PathChunk &c : path.chunks()) {
        checkpointBytes += c.checkpointBytes;
        findingBytes += c.findingBytes;
        stateRecords += c.stateCount;
    }
    say(QStringLiteral("toolpath file: %1 moves, %2 findings, %3 checkpoints, %4 bytes: %5 bytes a move (target <= 32)%6; "
                       "moves %7 bytes each, checkpoints %8 bytes each, findings %9 bytes, %10 state records")
            .arg(path.moveCount())
            .arg(path.findingCount())
            .arg(path.chunks().size())
            .arg(QFileInfo(file).size())
            .arg(perMove, 0, 'f', 2)
            .arg(perMove <= 32 ? QString() : QStringLiteral(" MISSED"))
            .arg(interp::kMoveBytes)
            .arg(checkpointBytes / qint64(std::max<std::size_t>(1, path.chunks().size())))
            .arg(findingBytes)
            .arg(stateRecords));
    if (path.findingCount() > 0) {
        const interp::Finding first = path.findings().front();
        say(QStringLiteral("the first finding: line %1: %2").arg(first.line).arg(first.reason));
    }
    {
        // For reference: the interpreter alone over the store, nothing written.
        interp::StoreLines source(program.store, program.recordLength, program.lineCount());
        interp::Interpreter interpreter;
        QList<interp::Move> moves;
        QList<interp::Finding> findings;
        QElapsedTimer clock;
        clock.start();
        while (interpreter.step(source, moves, findings)) {
            moves.clear();
            findings.clear();
        }
        say(QStringLiteral("for reference, the interpreter alone over the store, nothing kept: %1")
                .arg(seconds(static_cast<double>(clock.nsecsElapsed()) / 1e9)));
    }
    say(QStringLiteral("peak resident memory during the run: %1 MB (target < 150)%2")
            .arg(peak / 1e6, 0, 'f', 1)
            .arg(peak > 0 && peak < 150'000'000 ? QString() : QStringLiteral(" MISSED")));

    // An edit of one line near the middle, changed and changed back in turn: from the change until
    // the toolpath is current again.
    std::vector<double> edits;
    qint64 mostFollowed = 0;
    for (int i = 0; i < kEdits; ++i) {
        const qint64 line = lines / 2 + i;
        const QByteArray before = programLine(line);
        const QByteArray after = "N" + QByteArray::number(line * 10) + " G01 X12.5 Y-7.25 Z-1 F900";
        for (const QByteArray &put : {after, before}) {
            QElapsedTimer clock;
            clock.start();
            program.replaceLines(tessarc::LineNumber(line), 1, {put});
            waitForEnd(run);
            const double took = static_cast<double>(clock.nsecsElapsed()) / 1e9;
            if (put == after)
                edits.push_back(took);
            check(run.isCurrent() && run.report().incremental, QStringLiteral("the run after an edit was not incremental"));
            mostFollowed = std::max(mostFollowed, run.report().linesFollowed);
            if (put == after) {
                const QList<qint64> made = path.movesOfLines(line, line);
                check(made.size() == 1, QStringLiteral("line %1 made %2 moves").arg(line).arg(made.size()));
                const interp::Move m = path.moves(made.front(), 1).front();
                check(m.end[0] == 12.5 && m.end[1] == -7.25 && m.feed == 900,
                      QStringLiteral("the edited line's move ends at X%1 Y%2").arg(m.end[0]).arg(m.end[1]));
            }
        }
    }
    const double edit = median(edits);
    say(QStringLiteral("an edit of one middle line until the toolpath is current: median %1 (runs %2 to %3), at most %4 "
                       "lines followed again (target < 0.2 s)%5")
            .arg(ms(edit), ms(*std::min_element(edits.begin(), edits.end())), ms(*std::max_element(edits.begin(), edits.end())))
            .arg(mostFollowed)
            .arg(edit < 0.2 ? QString() : QStringLiteral(" MISSED")));

    // The state before lines picked at random; now and then checked against the state before an
    // earlier line followed to it.
    interp::StoreLines source(program.store, program.recordLength, program.lineCount());
    QRandomGenerator random(20261208);
    std::vector<double> states;
    for (int i = 0; i < kStates; ++i) {
        const qint64 line = random.bounded(qint64(1), lines + 1);
        QString error;
        QElapsedTimer clock;
        clock.start();
        const std::optional<interp::RunState> state = path.stateBefore(line, source, {}, error);
        states.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        check(state.has_value() && state->line == line, QStringLiteral("no state before line %1: %2").arg(line).arg(error));
        if (i % 100 == 0 && line > 3000) {
            const std::optional<interp::RunState> earlier = path.stateBefore(line - 2500, source, {}, error);
            check(earlier.has_value(), error);
            interp::Interpreter interpreter;
            interpreter.restore(*earlier);
            QList<interp::Move> moves;
            QList<interp::Finding> findings;
            while (interpreter.state().line < line && interpreter.step(source, moves, findings))
                moves.clear();
            check(interpreter.state() == *state, QStringLiteral("the state before line %1 is not the run's").arg(line));
        }
    }
    std::sort(states.begin(), states.end());
    const double worst = states.back();
    const double p99 = states[states.size() * 99 / 100];
    say(QStringLiteral("the state before a line picked at random (%1 lines): median %2, 99th percentile %3, worst %4 "
                       "(target < 1 ms)%5")
            .arg(kStates)
            .arg(ms(median(states)), ms(p99), ms(worst), worst < 1e-3 ? QString() : QStringLiteral(" MISSED")));
    program.removeStores();
    return 0;
}
