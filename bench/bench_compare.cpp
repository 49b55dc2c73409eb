// The compare's figure of vornexa-bench, run by name (--only compare): the benchmark program and a
// copy of it with 1,000 scattered differences (a word added, a line removed, a line inserted, in
// turn), both in line stores, compared as programs; set against reading both stores (4 MiB
// blocks); with the peak resident memory of the process during the compare. Then the program
// against one with nothing in common.
// Targets: at most 2 times reading both stores, under 150 MB; nothing in common within 10 s.

#include "benchtools.h"

#include "program.h"
#include "programcompare.h"
#include "storeclaim.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <set>

QStringList compareFigures();
int runCompareFigure(qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

using namespace benchtools;

namespace {

constexpr int kRecLen = 500;
constexpr int kDifferences = 1000;

void writeLines(const QString &path, qint64 lines, const std::function<QByteArray(qint64)> &line)
{
    QFile out(path);
    check(out.open(QIODevice::WriteOnly), QStringLiteral("cannot write %1").arg(path));
    QByteArray buffer;
    for (qint64 k = 1; k <= lines; ++k) {
        buffer += line(k);
        buffer += "\r\n";
        if (buffer.size() > (1 << 20) || k == lines) {
            check(out.write(buffer) == buffer.size(), QStringLiteral("cannot write %1").arg(path));
            buffer.clear();
        }
    }
}

} // namespace

QStringList compareFigures()
{
    return {QStringLiteral("compare")};
}

int runCompareFigure(qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString aFile = folder.filePath(QStringLiteral("a.nc")), bFile = folder.filePath(QStringLiteral("b.nc"));
    const QString otherFile = folder.filePath(QStringLiteral("other.nc"));
    writeProgram(aFile, lines, programLine);
    // The copy: every so many lines a word added, a line removed or a line inserted, in turn.
    // One in each of kDifferences equal stretches, at a random place in its first half, so that no
    // two touch (touching ones are one difference).
    std::set<qint64> at;
    QRandomGenerator random(20261208);
    const qint64 stretch = lines / kDifferences;
    check(stretch >= 8, QStringLiteral("%1 lines are too few for %2 differences").arg(lines).arg(kDifferences));
    for (qint64 k = 0; k < kDifferences; ++k)
        at.insert(k * stretch + 2 + static_cast<qint64>(random.bounded(static_cast<quint64>(stretch / 2))));
    {
        QFile out(bFile);
        check(out.open(QIODevice::WriteOnly), QStringLiteral("cannot write %1").arg(bFile));
        QByteArray buffer;
        int turn = 0;
        for (qint64 k = 1; k <= lines; ++k) {
            const QByteArray line = programLine(k);
            if (at.count(k)) {
                switch (turn++ % 3) {
                case 0: buffer += line + " M8\r\n"; break;
                case 1: break;
                default: buffer += line + "\r\n(INSERTED)\r\n"; break;
                }
            } else {
                buffer += line + "\r\n";
            }
            if (buffer.size() > (1 << 20) || k == lines) {
                check(out.write(buffer) == buffer.size(), QStringLiteral("cannot write %1").arg(bFile));
                buffer.clear();
            }
        }
    }
    writeLines(otherFile, lines, [](qint64 k) { return "G0 Z" + QByteArray::number(k) + ".5 (other)"; });
    say(QStringLiteral("vornexa-bench compare: two programs of %1 lines, %2 differences; %3 runs; scratch folder %4")
            .arg(lines)
            .arg(kDifferences)
            .arg(runs)
            .arg(folder.path()));

    tessarc::Program a, b, other;
    const tessarc::StoreClaim ca = a.useStores(folder.path(), QStringLiteral("a")), cb = b.useStores(folder.path(), QStringLiteral("b")),
                              co = other.useStores(folder.path(), QStringLiteral("other"));
    for (tessarc::Program *p : {&a, &b, &other})
        p->recordLength = kRecLen;
    a.load(aFile, {});
    b.load(bFile, {});
    other.load(otherFile, {});

    compare::Result result;
    qint64 peak = 0;
    const std::vector<Times> t = timeJobs(
        runs, {Job{{}, [&] {
                       readPass(a.store);
                       readPass(b.store);
                   }, {}},
               Job{[&] { peakResident(true); },
                   [&] {
                       compare::ProgramFeed left(a), right(b);
                       result = compare::comparePrograms(left, right, {});
                   },
                   [&] { peak = std::max(peak, peakResident(false)); }}});
    check(result.differences.size() == kDifferences,
          QStringLiteral("the compare found %1 differences, not %2").arg(result.differences.size()).arg(kDifferences));
    const double ratio = t[1].median / t[0].median;
    const double mb = static_cast<double>(peak) / (1 << 20);
    say(QStringLiteral("compare as programs: median %1 (runs %2 to %3), processor time %4; floor (reading both stores in 4 MiB "
                       "blocks) %5; ratio %6 (target <= 2)%7; peak resident %8 MB (target < 150)%9; %10 differences found")
            .arg(seconds(t[1].median), seconds(t[1].low), seconds(t[1].high), seconds(t[1].cpuMedian), seconds(t[0].median),
                 QString::number(ratio, 'f', 2), ratio <= 2 ? QString() : QStringLiteral(" MISSED"))
            .arg(mb, 0, 'f', 1)
            .arg(mb < 150 ? QString() : QStringLiteral(" MISSED"))
            .arg(result.differences.size()));
    compare::Rules plain = compare::Rules::plain();
    const std::vector<Times> p = timeJobs(runs, {Job{{}, [&] {
                                                         compare::ProgramFeed left(a), right(b);
                                                         result = compare::comparePrograms(left, right, plain);
                                                     }, {}}});
    say(QStringLiteral("for reference, the plain compare (byte for byte): median %1, ratio to the floor %2")
            .arg(seconds(p[0].median), QString::number(p[0].median / t[0].median, 'f', 2)));
    const std::vector<Times> n = timeJobs(runs, {Job{{}, [&] {
                                                         compare::ProgramFeed left(a), right(other);
                                                         result = compare::comparePrograms(left, right, {});
                                                     }, {}}});
    say(QStringLiteral("nothing in common: median %1 (runs %2 to %3) (target <= 10 s)%4; said: %5, %6")
            .arg(seconds(n[0].median), seconds(n[0].low), seconds(n[0].high), n[0].median <= 10 ? QString() : QStringLiteral(" MISSED"),
                 result.nothingInCommon ? QStringLiteral("nothing in common") : QStringLiteral("NOT said"), compare::countText(result)));
    return 0;
}
