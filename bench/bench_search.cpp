// The search figures of vornexa-bench, run with --only find, replace or findlist, each pressed
// through its window's button on a main window of the application (percents on, as by default):
//
//   find      Find of a text that occurs on no line      vs reading the store once in 4 MiB blocks;
//             `grep -c` of the text on the program file is printed for reference
//   replace   Replace (text action) of a word on every line  vs reading and writing back every
//             record of the store in 4 MiB blocks; `sed` doing the same on the text is printed
//   findlist  Find (List) of a word on every line, the list laid out
//                                                        vs reading the store once; and the peak
//                                                           resident memory of the whole process
//   findaxis, replacevalue, findlistaxis
//             the same three through the axis buttons, reading words: Find of X > 1e9 (no line),
//             Replace setting Y to 7.5 where X > -1e9 (every line), Find (List) of X > -1e9
//
// The program is generated: line k is "N<10k> G01 X.. Y.. F..", so every line holds G01 and none
// holds M99. Each figure is the median of its runs, its runs taking turns with its floor's; the
// page cache stays warm. A result that does not check out ends the run with exit code 1.

#include "benchtools.h"
#include "frmfind.h"
#include "frmfindlist.h"
#include "findlistmodel.h"
#include "frmreplace.h"
#include "linestore.h"
#include "mainform.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using benchtools::check;
using benchtools::median;
using benchtools::say;
using benchtools::seconds;

namespace {

constexpr int kRecLen = 500;
constexpr qint64 kBlock = qint64(4) << 20;

QString spread(const std::vector<double> &v)
{
    const auto [low, high] = std::minmax_element(v.begin(), v.end());
    return QStringLiteral("%1 to %2").arg(seconds(*low), seconds(*high));
}

// Line k of the program.
QByteArray line(qint64 k)
{
    return "N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number((k * 7919) % 200000 - 100000) + " Y" +
           QByteArray::number((k * 104729) % 200000 - 100000) + " F" + QByteArray::number(300 + k % 7 * 100) + ".";
}

void writeProgram(const QString &path, qint64 lines)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly), QStringLiteral("cannot create %1").arg(path));
    QByteArray chunk;
    for (qint64 k = 1; k <= lines; ++k) {
        chunk += line(k);
        chunk += "\r\n";
        if (chunk.size() > kBlock || k == lines) {
            check(file.write(chunk) == chunk.size(), QStringLiteral("cannot write %1").arg(path));
            chunk.clear();
        }
    }
}

// Reads a file in 4 MiB blocks; with `writeBack`, writes every block back where it was.
void pass(const QString &path, bool writeBack)
{
    const int fd = ::open(QFile::encodeName(path).constData(), writeBack ? O_RDWR : O_RDONLY);
    check(fd >= 0, QStringLiteral("cannot open %1").arg(path));
    QByteArray block(kBlock, Qt::Uninitialized);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, block.data(), static_cast<size_t>(block.size()), at);
        check(got >= 0, QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        if (got == 0)
            break;
        if (writeBack)
            check(::pwrite(fd, block.constData(), static_cast<size_t>(got), at) == got, QStringLiteral("cannot write %1").arg(path));
        at += got;
    }
    ::close(fd);
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    check(QFile::copy(from, to), QStringLiteral("cannot copy %1").arg(from));
}

// Runs a command, its standard output to `output`; the time it took.
double timedCommand(const QString &program, const QStringList &arguments, const QString &output)
{
    QProcess process;
    process.setStandardOutputFile(output);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    check(process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit,
          QStringLiteral("%1 failed").arg(program));
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// Every prompt is recorded; the figures say which they expect.
class BenchPrompts : public Prompts
{
public:
    void message(QWidget *, const QString &text, const QString &) override { shown.append(text); }
    Answer ask(QWidget *, const QString &text, const QString &, Buttons) override
    {
        shown.append(text);
        return Answer::Cancel;
    }
    std::optional<QString> input(QWidget *, const QString &prompt, const QString &, const QString &) override
    {
        shown.append(prompt);
        return std::nullopt;
    }
    QString openFileName(QWidget *, const QString &) override { return QString(); }
    QString saveFileName(QWidget *, const QString &) override { return QString(); }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return std::nullopt; }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override { return std::nullopt; }
    bool openDocument(const QString &) override { return false; }
    void warning(QWidget *, const QString &title, const QString &text) override { shown.append(title + text); }
    void beep() override { shown.append(QStringLiteral("beep")); }

    // Fails unless exactly `expected` was shown since the last look.
    void expect(const QStringList &expected, const QString &when)
    {
        check(shown == expected, QStringLiteral("%1 showed: %2").arg(when, shown.join(QStringLiteral(" | "))));
        shown.clear();
    }

    QStringList shown;
};

struct Figure
{
    QDir dir;
    qint64 lines = 0;
    int runs = 0;
    QString program;
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
};

// The processor time the process has used, user and system, in seconds.
double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto secondsOf = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
}

// The times of a figure's runs and of its floor's: elapsed, and processor time used (which a
// machine shared with others disturbs less).
struct Times
{
    std::vector<double> figure, floor, figureCpu, floorCpu;
};

// Times `body` against `floor`, taking turns, `runs` times each.
Times alternate(int runs, const std::function<void()> &prepare, const std::function<void()> &body,
                const std::function<void()> &verify, const std::function<void()> &floor)
{
    Times t;
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        ::sync();
        double cpu = processorSeconds();
        clock.start();
        floor();
        t.floor.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        t.floorCpu.push_back(processorSeconds() - cpu);
        if (prepare)
            prepare();
        ::sync();
        cpu = processorSeconds();
        clock.start();
        body();
        t.figure.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        t.figureCpu.push_back(processorSeconds() - cpu);
        verify();
    }
    return t;
}

void report(const QString &what, const Times &t, const QString &floorWhat, double target)
{
    const double ratio = median(t.figure) / median(t.floor);
    const double cpuRatio = median(t.figureCpu) / median(t.floorCpu);
    say(QStringLiteral("%1: median %2 (%3); floor (%4) median %5 (%6); ratio %7 (target <= %8)%9; "
                       "processor time median %10 against %11, ratio %12")
            .arg(what, seconds(median(t.figure)), spread(t.figure), floorWhat, seconds(median(t.floor)), spread(t.floor))
            .arg(ratio, 0, 'f', 2)
            .arg(target)
            .arg(ratio <= target ? QString() : QStringLiteral(" MISSED"))
            .arg(seconds(median(t.figureCpu)), seconds(median(t.floorCpu)))
            .arg(cpuRatio, 0, 'f', 2));
}

// The axis fields of a search window: X compared with `value`, greater than.
template <class Window>
void fillAxis(Window &window, const char *value)
{
    window.txtAxis->setText(QStringLiteral("X"));
    window.g->setChecked(true);
    window.txtValue->setText(QLatin1String(value));
}

int benchFind(const Figure &f, mainform &main, BenchPrompts &prompts, bool axis)
{
    Find window(main);
    window.Form_Load();
    window.txtFind->setText(QStringLiteral("M99"));
    fillAxis(window, "1000000000");
    window.ALL->setChecked(true);
    QPushButton *button = axis ? window.go2 : window.Go;
    const Times times = alternate(
        f.runs, {}, [&] { button->click(); },
        [&] {
            prompts.expect({QStringLiteral("Done Searching.")}, QStringLiteral("Find"));
            check(!main.TESSARC1->Run && button->text() == QLatin1String("Find Next"),
                  QStringLiteral("Find did not give the lock back"));
        },
        [&] { pass(main.TESSARC1->tempFile, false); });
    report((axis ? QStringLiteral("Find of X > 1e9, on no line of %1 lines") : QStringLiteral("Find of a text on no line of %1 lines"))
               .arg(f.lines),
           times, QStringLiteral("one read of the store in 4 MiB blocks"), 1.5);
    if (axis) {
        window.close();
        return 0;
    }
    std::vector<double> grep;
    for (int run = 0; run < f.runs; ++run)
        grep.push_back(timedCommand(QStringLiteral("grep"), {QStringLiteral("-c"), QStringLiteral("M99"), f.program},
                                    f.path("grep.out")));
    say(QStringLiteral("for reference, grep -c on the %1 MB program file: median %2; Find takes %3 times as long")
            .arg(QFileInfo(f.program).size() / 1000000)
            .arg(seconds(median(grep)))
            .arg(median(times.figure) / median(grep), 0, 'f', 2));
    window.close();
    return 0;
}

int benchReplace(const Figure &f, mainform &main, BenchPrompts &prompts, bool axis)
{
    TESSARC &editor = *main.TESSARC1;
    const QString pristine = f.path("replace.pristine");
    copyFile(editor.tempFile, pristine);
    frmReplace window(main);
    window.Form_Load();
    window.txtFind->setText(QStringLiteral("G01"));
    window.txtReplace->setText(QStringLiteral("G1"));
    fillAxis(window, "-1000000000");
    window.txtReplaceAxis->setText(QStringLiteral("Y"));
    window.txtReplaceValue->setText(QStringLiteral("7.5"));
    window.ALL->setChecked(true);
    QPushButton *button = axis ? window.go2 : window.Go;
    const std::vector<qint64> samples = {1, f.lines / 3, f.lines / 2, f.lines};
    const Times times = alternate(
        f.runs, [&] { copyFile(pristine, editor.tempFile); }, [&] { button->click(); },
        [&] {
            prompts.expect({}, QStringLiteral("Replace"));
            check(!editor.Run && button->text() == QLatin1String("Replace"), QStringLiteral("Replace did not give the lock back"));
            tessarc::LineStore store;
            store.open(editor.tempFile, kRecLen, false);
            for (qint64 k : samples) {
                QByteArray want = line(k);
                if (axis) {
                    const qsizetype y = want.indexOf(" Y") + 2;
                    want.replace(y, want.indexOf(' ', y) - y, "7.5");
                } else {
                    want.replace("G01", "G1");
                }
                check(store.read(tessarc::LineNumber(k)) == want, QStringLiteral("line %1 after Replace").arg(k));
            }
        },
        [&] { pass(pristine, true); });
    report((axis ? QStringLiteral("Replace setting Y where X > -1e9, on every one of %1 lines")
                 : QStringLiteral("Replace of G01 by G1 on every one of %1 lines"))
               .arg(f.lines),
           times, QStringLiteral("reading and writing back the store in 4 MiB blocks"), 2.0);
    if (axis) {
        QFile::remove(pristine);
        window.close();
        return 0;
    }
    std::vector<double> sed;
    for (int run = 0; run < f.runs; ++run)
        sed.push_back(timedCommand(QStringLiteral("sed"), {QStringLiteral("s/G01/G1/g"), f.program}, f.path("sed.out")));
    say(QStringLiteral("for reference, sed writing the same change of the program file to a new file: median %1; "
                       "Replace takes %2 times as long")
            .arg(seconds(median(sed)))
            .arg(median(times.figure) / median(sed), 0, 'f', 2));
    QFile::remove(pristine);
    window.close();
    return 0;
}

int benchFindList(const Figure &f, mainform &main, BenchPrompts &prompts, bool axis)
{
    const qint64 before = benchtools::peakResident(false);
    frmFindList window(main);
    window.Form_Load();
    window.resize(900, 600);
    window.txtFind->setText(QStringLiteral("G01"));
    fillAxis(window, "-1000000000");
    window.ALL->setChecked(true);
    QPushButton *button = axis ? window.go2 : window.Go;
    const Times times = alternate(
        f.runs, {},
        [&] {
            button->click();
            QCoreApplication::processEvents(); // the list is laid out and drawn
        },
        [&] {
            prompts.expect({}, QStringLiteral("Find (List)"));
            check(window.results().rowCount() == f.lines && window.results().line(static_cast<int>(f.lines - 1)) == f.lines,
                  QStringLiteral("Find (List) listed %1 rows").arg(window.results().rowCount()));
        },
        [&] { pass(main.TESSARC1->tempFile, false); });
    report((axis ? QStringLiteral("Find (List) of X > -1e9, on every one of %1 lines")
                 : QStringLiteral("Find (List) of G01, on every one of %1 lines"))
               .arg(f.lines),
           times, QStringLiteral("one read of the store in 4 MiB blocks"), 2.0);
    const qint64 peak = benchtools::peakResident(false);
    say(QStringLiteral("peak resident memory with %1 rows listed: %2 MB (target < 150 MB)%3; %4 MB before the search")
            .arg(window.results().rowCount())
            .arg(peak / 1000000)
            .arg(peak < 150000000 ? QString() : QStringLiteral(" MISSED"))
            .arg(before / 1000000));
    window.close();
    return 0;
}

} // namespace

int runSearchFigure(const QString &figure, qint64 lines, int runs, const QString &dir)
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    Figure f;
    f.dir = QDir(scratch.path());
    f.lines = lines;
    f.runs = runs;
    f.program = f.path("program.nc");
    writeProgram(f.program, lines);
    qputenv("VORNEXA_HOME", QFile::encodeName(f.path("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(f.path("config")));

    BenchPrompts prompts;
    int result = 0;
    {
        mainform main(prompts);
        main.resize(640, 480);
        main.show();
        QCoreApplication::processEvents();
        TESSARC &editor = *main.TESSARC1;
        editor.recLen = kRecLen;
        editor.tempFile = f.path("program.store");
        editor.tempFile2 = f.path("program.scratch");
        editor.lockup(false);
        check(editor.loadFile(f.program) && editor.numberOfLines() == lines, QStringLiteral("the program did not load"));
        prompts.expect({}, QStringLiteral("loading"));
        say(QStringLiteral("vornexa-bench %1: program of %2 lines, %3 MB; store %4 MB; %5 runs")
                .arg(figure)
                .arg(lines)
                .arg(QFileInfo(f.program).size() / 1000000)
                .arg(QFileInfo(editor.tempFile).size() / 1000000)
                .arg(runs));
        const bool axis = figure.endsWith(QLatin1String("axis")) || figure == QLatin1String("replacevalue");
        if (figure.startsWith(QLatin1String("findlist")))
            result = benchFindList(f, main, prompts, axis);
        else if (figure.startsWith(QLatin1String("find")))
            result = benchFind(f, main, prompts, axis);
        else
            result = benchReplace(f, main, prompts, axis);
        editor.done();
    }
    check(scratch.remove(), QStringLiteral("cannot remove %1").arg(scratch.path()));
    return result;
}
