// The history's figures: what keeping a change for Undo adds to a run, and what Undo costs, on the
// program below the window (the same Program, ChangeRecord and History the windows use).

#include "benchtools.h"
#include "history.h"
#include "linestore.h"
#include "program.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

QStringList historyFigures();
int runHistoryFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;
using tessarc::LineNumber;

namespace {

constexpr int kRecLen = 500;

// Every `every`-th line of the program gets its first letter's case turned: a change to every line
// (1) or to one line in a hundred (100), recorded for Undo when the history keeps steps.
void rewriteEvery(tessarc::Program &p, qint64 every, const QString &name)
{
    tessarc::ChangeRecord change(p, name, LineNumber(1));
    tessarc::LineStore store;
    store.open(p.store, p.recordLength, false);
    store.rewriteRecords(
        LineNumber(1), p.lineCount(),
        [every](LineNumber record, QByteArrayView text, QByteArray &out) {
            out.append(text.data(), text.size());
            if (record.value % every == 0 && !out.isEmpty())
                out[0] = static_cast<char>(out[0] ^ 0x20);
            return true;
        },
        change.journal());
    store.close();
    change.finish();
}

} // namespace

QStringList historyFigures()
{
    return {QStringLiteral("journal"), QStringLiteral("undo")};
}

int runHistoryFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString program = folder.filePath(QStringLiteral("big.nc"));
    writeProgram(program, lines, programLine);
    tessarc::Program p;
    p.store = folder.filePath(QStringLiteral("0.qen.tmp"));
    p.scratch = folder.filePath(QStringLiteral("0.2.qen.tmp"));
    p.recordLength = kRecLen;
    p.path = program;
    p.load(program, {});
    const qint64 storeBytes = lines * kRecLen;
    say(QStringLiteral("vornexa-bench %1: program of %2 lines, store of %3 bytes; %4 runs; scratch folder %5")
            .arg(figure)
            .arg(lines)
            .arg(storeBytes)
            .arg(runs)
            .arg(folder.path()));
    const auto historyOn = [&](bool on) { p.history().setLimits(on ? 100 : 0, qint64(1) << 40); };
    const auto settle = [&] {
        p.finishJournal();
        p.history().clear();
        ::sync();
    };

    if (figure == QLatin1String("journal")) {
        // The same run with and without its step kept; each run's flush is waited for untimed.
        const auto run = [&](qint64 every, bool on) {
            return Job{[&, on] {
                           settle();
                           historyOn(on);
                       },
                       [&, every] { rewriteEvery(p, every, QStringLiteral("Operations")); },
                       [&, on] { check(p.history().canUndo() == on, QStringLiteral("the step was not kept as it should be")); }};
        };
        const std::vector<Times> t = timeJobs(runs, {run(1, false), run(1, true), run(100, false), run(100, true)});
        for (int k : {0, 2}) {
            const double cost = (t[k + 1].median - t[k].median) / t[k].median * 100.0;
            const double target = k == 0 ? 25.0 : 10.0;
            const double cpuCost = (t[k + 1].cpuMedian - t[k].cpuMedian) / t[k].cpuMedian * 100.0;
            say(QStringLiteral("%1: median %2 without a history, %3 with the step kept (spreads %4-%5, %6-%7); "
                               "the history adds %8% (target <= %9%)%10; processor time %11 and %12, %13% more")
                    .arg(k == 0 ? QStringLiteral("a change to every line") : QStringLiteral("a change to one line in a hundred"),
                         seconds(t[k].median), seconds(t[k + 1].median), seconds(t[k].low), seconds(t[k].high),
                         seconds(t[k + 1].low), seconds(t[k + 1].high))
                    .arg(QString::number(cost, 'f', 1))
                    .arg(target)
                    .arg(cost <= target ? QString() : QStringLiteral(" MISSED"), seconds(t[k].cpuMedian),
                         seconds(t[k + 1].cpuMedian), QString::number(cpuCost, 'f', 1)));
        }
        return 0;
    }

    // Undo of a change to every line against one read-and-rewrite pass of the store; Undo of
    // Remove Lines 1 to 1,000 against one copy of the store's records.
    const QString copy = folder.filePath(QStringLiteral("copy.store"));
    copyStore(p.store, copy, lines);
    const QString copied = folder.filePath(QStringLiteral("copied.store"));
    const Job undoRewrite{[&] {
                              settle();
                              historyOn(true);
                              rewriteEvery(p, 1, QStringLiteral("Operations"));
                              p.finishJournal();
                              ::sync();
                          },
                          [&] { p.history().undo(); },
                          [&] { check(p.readLines(LineNumber(7), 1).value(0) == programLine(7), QStringLiteral("Undo did not bring line 7 back")); }};
    const Job rewriteFloor{[] { ::sync(); }, [&] { rewriteInPlace(copy); }, {}};
    const Job undoRemove{[&] {
                             settle();
                             historyOn(true);
                             tessarc::ChangeRecord change(p, QStringLiteral("Remove Lines"), LineNumber(1));
                             tessarc::ProgramRebuild rebuild(p);
                             rebuild.copyLines(LineNumber(1001), p.lineCount() - 1000);
                             rebuild.commit();
                             change.finish();
                             p.finishJournal();
                             ::sync();
                         },
                         [&] { p.history().undo(); },
                         [&] {
                             check(p.lineCount() == lines && p.readLines(LineNumber(1000), 1).value(0) == programLine(1000),
                                   QStringLiteral("Undo did not bring lines 1 to 1,000 back"));
                         }};
    const Job copyFloor{[&] {
                            QFile::remove(copied);
                            ::sync();
                        },
                        [&] {
                            tessarc::LineStore in;
                            tessarc::LineStore out;
                            in.open(copy, kRecLen, false);
                            out.open(copied, kRecLen);
                            tessarc::LineStore::copyRecords(in, LineNumber(1), lines, out, LineNumber(1));
                            out.close();
                            in.close();
                        },
                        {}};
    const std::vector<Times> t = timeJobs(runs, {undoRewrite, rewriteFloor, undoRemove, copyFloor});
    const auto sayRatio = [](const QString &what, const Times &value, const QString &floorWhat, const Times &floor) {
        const double ratio = value.median / floor.median;
        say(QStringLiteral("%1: median %2 (runs %3 to %4); floor (%5) %6; ratio %7 (target <= 1.5)%8; "
                           "processor time %9, the floor's %10, ratio %11")
                .arg(what, seconds(value.median), seconds(value.low), seconds(value.high), floorWhat, seconds(floor.median),
                     QString::number(ratio, 'f', 2), ratio <= 1.5 ? QString() : QStringLiteral(" MISSED"),
                     seconds(value.cpuMedian))
                .arg(seconds(floor.cpuMedian), QString::number(value.cpuMedian / floor.cpuMedian, 'f', 2)));
    };
    sayRatio(QStringLiteral("Undo of a change to every line"), t[0], QStringLiteral("reading and rewriting the store in place"), t[1]);
    sayRatio(QStringLiteral("Undo of Remove Lines 1 to 1,000"), t[2], QStringLiteral("copyRecords of the store"), t[3]);
    return 0;
}
