// The in-place tool figures of vornexa-bench, run by name (--only NAME, or --only tools for all of
// them). Each presses Go of its tool's window on a main window of the application, with percents
// on, over every line of the benchmark program (the same generated program as the editor figures),
// and is set against one read-and-rewrite pass of the store in 4 MiB blocks:
//
//   opplus          Operations Plus: where Z < 0, add the value to X; the value, from 0.5, steps by
//                   0.000001 on every line
//   addn            Add N from 10 by 10 (old N words replaced, a space after the number); set also
//                   against awk doing the same renumbering of the text file
//   removen         Remove N
//   addspaces       Add spaces
//   removespaces    Remove spaces
//   removecomments  Remove comments; set also against sed doing the same removal on the text file
//   filter          Filter X with a tolerance of 0.001
//   format          Format X with the output picture
//
// Every run starts from the store as loaded and with no dirty pages waiting (sync, untimed), the
// floor's runs too. After each run every line of the store is checked against the tool's own
// per-line work applied to the program in order, and the lock, the busy indicator and the Go
// caption must be given back.

#include "benchtools.h"
#include "linestore.h"
#include "tessarc.h"

#include "filter.h"
#include "format.h"
#include "frmcomment.h"
#include "frmfilter.h"
#include "frmformat.h"
#include "frmn.h"
#include "frmopplus.h"
#include "frmspace.h"
#include "linenumbers.h"
#include "mainform.h"
#include "operationsplus.h"
#include "prompts.h"
#include "removecomments.h"
#include "spaces.h"

#include <QCheckBox>
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
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

QStringList toolFigures();
int runToolFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));

namespace benchtools {

constexpr int kRecLen = 500;
constexpr qint64 kBlock = qint64(4) << 20;

// Reads every byte of a file in 4 MiB blocks.
void readPass(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, QStringLiteral("cannot read %1").arg(path));
    std::vector<char> block(std::size_t(4) << 20);
    while (::read(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
}

// Peak resident memory since the last reset, in bytes; resetting where the kernel allows it.
qint64 peakResident(bool reset)
{
    if (reset) {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        return 0;
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &row : status.readAll().split('\n')) {
            if (row.startsWith("VmHWM:"))
                return row.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<qint64>(usage.ru_maxrss) * 1024;
}

QString openFarEnd(int &master)
{
    int slave = -1;
    char name[256] = {};
    check(openpty(&master, &slave, name, nullptr, nullptr) == 0, QStringLiteral("openpty failed"));
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return QString::fromLocal8Bit(name);
}

void check(bool ok, const QString &what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString seconds(double s)
{
    return QString::number(s, 'f', 3) + QStringLiteral(" s");
}

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("cannot %1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}


// Reads every record of a store and writes it back in place, in 4 MiB blocks: the floor.
void rewriteInPlace(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    check(fd >= 0, systemError(QStringLiteral("open"), path));
    QByteArray block(kBlock, Qt::Uninitialized);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, block.data(), static_cast<size_t>(block.size()), at);
        if (got < 0 && errno == EINTR)
            continue;
        check(got >= 0, systemError(QStringLiteral("read"), path));
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(fd, block.constData() + done, static_cast<size_t>(got - done), at + done);
            if (put < 0 && errno == EINTR)
                continue;
            check(put > 0, systemError(QStringLiteral("write"), path));
            done += put;
        }
        at += got;
    }
    check(::close(fd) == 0, systemError(QStringLiteral("close"), path));
}

// The program's first `lines` lines, each ended by CR LF, written in blocks.
void writeProgram(const QString &path, qint64 lines, QByteArray (*programLine)(qint64))
{
    QFile out(path);
    check(out.open(QIODevice::WriteOnly), QStringLiteral("cannot create %1: %2").arg(path, out.errorString()));
    QByteArray block;
    for (qint64 k = 1; k <= lines; ++k) {
        block.append(programLine(k)).append("\r\n", 2);
        if (block.size() >= (qint64(1) << 20) || k == lines) {
            check(out.write(block) == block.size(), QStringLiteral("cannot write %1: %2").arg(path, out.errorString()));
            block.resize(0);
        }
    }
    out.close();
}

qint64 countLines(const QString &path)
{
    QFile in(path);
    check(in.open(QIODevice::ReadOnly), QStringLiteral("cannot read %1").arg(path));
    qint64 lines = 0;
    QByteArray block(kBlock, Qt::Uninitialized);
    while (const qint64 got = in.read(block.data(), block.size()))
        lines += std::count(block.constData(), block.constData() + std::max<qint64>(got, 0), '\n');
    return lines;
}


// Processor time used so far by this process and its finished children, in seconds.
double processorSeconds()
{
    double total = 0.0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}


// Runs every job `runs` times, taking turns, and gives each job's median and spread. On a shared
// machine the processor time moves less than the elapsed time, so it is kept too.
std::vector<Times> timeJobs(int runs, const std::vector<Job> &jobs)
{
    std::vector<std::vector<double>> times(jobs.size());
    std::vector<std::vector<double>> cpu(jobs.size());
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (jobs[j].prepare)
                jobs[j].prepare();
            const double cpuBefore = processorSeconds();
            clock.start();
            jobs[j].body();
            times[j].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            cpu[j].push_back(processorSeconds() - cpuBefore);
            if (jobs[j].verify)
                jobs[j].verify();
        }
    }
    std::vector<Times> result;
    for (size_t j = 0; j < jobs.size(); ++j) {
        const auto [low, high] = std::minmax_element(times[j].begin(), times[j].end());
        result.push_back({median(times[j]), *low, *high, median(cpu[j])});
    }
    return result;
}

// A command run on the program's text file, its output to a file of its own.
Job textCommand(const QString &program, const QStringList &arguments, const QString &output, qint64 lines)
{
    return Job{[output] {
                   QFile::remove(output);
                   ::sync();
               },
               [program, arguments, output] {
                   QProcess process;
                   process.setStandardOutputFile(output);
                   process.start(program, arguments);
                   check(process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
                             process.exitCode() == 0,
                         QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError())));
               },
               [program, output, lines] {
                   check(countLines(output) == lines, QStringLiteral("%1 wrote %2 lines, not %3")
                                                          .arg(program)
                                                          .arg(countLines(output))
                                                          .arg(lines));
               }};
}

// awk renumbering from 10 by 10: the leading N word with the spaces after its number replaced.
const char *const kAwkRenumber = "{ sub(/^[Nn][-+. 0-9]*/, \"\"); printf \"N%d %s\\n\", NR * 10, $0 }";
// sed taking out comments: "(" to ")" or to the end of the line, and ";" to the end of the line.
const QStringList kSedComments = {QStringLiteral("-e"), QStringLiteral("s/([^)]*)//g"), QStringLiteral("-e"),
                                  QStringLiteral("s/(.*$//"), QStringLiteral("-e"), QStringLiteral("s/;.*$//")};

// One tool figure: the window's fields, the per-line work it must give, and what it is set against.
struct Figure
{
    const char *name;
    const char *what;
    std::function<std::unique_ptr<tools::ToolWindow>(mainform &)> open;
    // Before each run: fields the previous run changed.
    std::function<void(tools::ToolWindow &)> reset;
    // A fresh per-line work, applied to the whole program in order, gives the expected store.
    std::function<tools::LineWork(const mainform &, const tools::LineRules &, qint64 lines)> expected;
};

template <class W>
std::unique_ptr<W> window(mainform &main)
{
    auto w = std::make_unique<W>(main);
    w->Form_Load();
    w->ALL->setChecked(true);
    return w;
}

std::vector<Figure> figures()
{
    using tools::LineRules;
    using tools::LineWork;
    std::vector<Figure> list;
    list.push_back({"opplus", "Operations Plus, Z < 0: add the value to X, stepped by 0.000001 a line",
                    [](mainform &main) {
                        auto w = window<frmOpPlus>(main);
                        w->Text1->setText(QStringLiteral("Z"));
                        w->l->setChecked(true);
                        w->Text2->setText(QStringLiteral("0"));
                        w->txtAxis->setText(QStringLiteral("X"));
                        w->Check2->setChecked(true);
                        w->inc->setText(QStringLiteral("0.000001"));
                        return w;
                    },
                    [](tools::ToolWindow &w) { static_cast<frmOpPlus &>(w).txtValue->setText(QStringLiteral("0.5")); },
                    [](const mainform &, const LineRules &rules, qint64) -> LineWork {
                        tools::OperationsPlusSettings s;
                        s.conditionAxis = QStringLiteral("Z");
                        s.comparison = tools::Comparison::Less;
                        s.conditionValue = QStringLiteral("0");
                        s.value = QStringLiteral("0.5");
                        s.axis = QStringLiteral("X");
                        s.stepOnLine = true;
                        s.step = QStringLiteral("0.000001");
                        return tools::OperationsPlusWork(s, rules);
                    }});
    list.push_back({"addn", "Add N from 10 by 10",
                    [](mainform &main) {
                        auto w = window<frmN>(main);
                        w->Option2->setChecked(true);
                        w->txtStartNumber->setText(QStringLiteral("10"));
                        w->txtInc->setText(QStringLiteral("10"));
                        return w;
                    },
                    {},
                    [](const mainform &, const LineRules &rules, qint64 lines) -> LineWork {
                        tools::LineNumberSettings s;
                        s.realLineNumbers = false;
                        s.startNumber = QStringLiteral("10");
                        s.increment = QStringLiteral("10");
                        return tools::LineNumberWork(s, tools::LineRange{1, lines}, rules);
                    }});
    list.push_back({"removen", "Remove N",
                    [](mainform &main) {
                        auto w = window<frmN>(main);
                        w->remove->setChecked(true);
                        return w;
                    },
                    {},
                    [](const mainform &, const LineRules &rules, qint64 lines) -> LineWork {
                        tools::LineNumberSettings s;
                        s.add = false;
                        return tools::LineNumberWork(s, tools::LineRange{1, lines}, rules);
                    }});
    list.push_back({"addspaces", "Add spaces", [](mainform &main) { return window<frmSpace>(main); }, {},
                    [](const mainform &, const LineRules &rules, qint64) -> LineWork {
                        return tools::SpaceWork(tools::SpaceSettings{true}, rules);
                    }});
    list.push_back({"removespaces", "Remove spaces",
                    [](mainform &main) {
                        auto w = window<frmSpace>(main);
                        w->remove->setChecked(true);
                        return w;
                    },
                    {},
                    [](const mainform &, const LineRules &rules, qint64) -> LineWork {
                        return tools::SpaceWork(tools::SpaceSettings{false}, rules);
                    }});
    list.push_back({"removecomments", "Remove comments", [](mainform &main) { return window<frmComment>(main); }, {},
                    [](const mainform &main, const LineRules &, qint64) -> LineWork {
                        return tools::RemoveCommentsWork(main.globalVar.comments.rule());
                    }});
    list.push_back({"filter", "Filter X, tolerance 0.001",
                    [](mainform &main) {
                        auto w = window<frmFilter>(main);
                        w->txtAxis->setText(QStringLiteral("X"));
                        w->txtValue->setText(QStringLiteral("0.001"));
                        return w;
                    },
                    {},
                    [](const mainform &, const LineRules &rules, qint64) -> LineWork {
                        return tools::FilterWork(tools::FilterSettings{QStringLiteral("X"), QStringLiteral("0.001")}, rules);
                    }});
    list.push_back({"format", "Format X",
                    [](mainform &main) {
                        auto w = window<frmFormat>(main);
                        w->txtAxis->setText(QStringLiteral("X"));
                        return w;
                    },
                    {},
                    [](const mainform &, const LineRules &rules, qint64) -> LineWork {
                        return tools::FormatWork(tools::FormatSettings{QStringLiteral("X")}, rules);
                    }});
    return list;
}

void useScratchFolders(const QDir &folder)
{
    qputenv("VORNEXA_HOME", QFile::encodeName(folder.filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath(QStringLiteral("config"))));
}

TESSARC &loadInMainWindow(mainform &main, const FailingPrompts &prompts, const QDir &folder, const QString &stem,
                          const QString &program, qint64 lines)
{
    main.resize(640, 480);
    main.show();
    QCoreApplication::processEvents();
    TESSARC &editor = *main.TESSARC1;
    editor.recLen = kRecLen;
    editor.tempFile = folder.filePath(stem + QStringLiteral(".store"));
    editor.tempFile2 = folder.filePath(stem + QStringLiteral(".scratch"));
    editor.lockup(false);
    editor.loadFile(program);
    prompts.expectNone(QStringLiteral("loadFile"));
    check(editor.numberOfLines() == lines, QStringLiteral("the main window loaded %1 lines").arg(editor.numberOfLines()));
    return editor;
}

void copyStore(const QString &from, const QString &to, qint64 lines)
{
    tessarc::LineStore in;
    tessarc::LineStore out;
    in.open(from, kRecLen, false);
    out.open(to, kRecLen);
    tessarc::LineStore::copyRecords(in, tessarc::LineNumber(1), lines, out, tessarc::LineNumber(1));
    out.close();
    in.close();
}

// Every line of the store against `work` applied to the program's lines in order.
void checkStore(const QString &store, qint64 lines, QByteArray (*programLine)(qint64), tools::LineWork work,
                const char *figure)
{
    tessarc::LineStore in;
    in.open(store, kRecLen, false);
    QByteArray want;
    in.forEachRecord(tessarc::LineNumber(1), lines, [&](tessarc::LineNumber record, QByteArrayView text) {
        const QByteArray line = programLine(record.value);
        // A line the tool leaves alone (Filter's arc, say) stays as it was; one that stops a run
        // never comes in the generated program.
        const tools::LineFault fault = work(line, want);
        check(!tools::stopsRun(fault),
              QStringLiteral("%1: line %2 cannot be rewritten").arg(QLatin1String(figure)).arg(record.value));
        if (fault != tools::LineFault::None)
            want = line;
        if (text != QByteArrayView(want))
            check(false, QStringLiteral("%1: line %2 is \"%3\", not \"%4\"")
                             .arg(QLatin1String(figure))
                             .arg(record.value)
                             .arg(QString::fromLatin1(text.toByteArray()), QString::fromLatin1(want)));
    });
    in.close();
}

} // namespace benchtools

using namespace benchtools;

QStringList toolFigures()
{
    QStringList names{QStringLiteral("tools")};
    for (const Figure &figure : figures())
        names.append(QLatin1String(figure.name));
    return names;
}

int runToolFigure(const QString &only, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64))
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QDir folder(scratch.path());
    const QString program = folder.filePath(QStringLiteral("big.nc"));
    writeProgram(program, lines, programLine);
    const qint64 storeBytes = lines * kRecLen;
    say(QStringLiteral("vornexa-bench %1: program of %2 lines (%3 bytes), store of %4 bytes; %5 runs; scratch folder %6")
            .arg(only)
            .arg(lines)
            .arg(QFileInfo(program).size())
            .arg(storeBytes)
            .arg(runs)
            .arg(folder.path()));

    useScratchFolders(folder);
    FailingPrompts prompts;
    mainform main(prompts);
    TESSARC &editor = loadInMainWindow(main, prompts, folder, QStringLiteral("tools"), program, lines);
    const QString pristine = folder.filePath(QStringLiteral("tools.pristine"));
    copyStore(editor.tempFile, pristine, lines);
    tools::LineRules rules;
    rules.maxLength = kRecLen - 2;

    const Job floor{[] { ::sync(); }, [&] { rewriteInPlace(pristine); },
                    [&] { check(QFileInfo(pristine).size() == storeBytes, QStringLiteral("the floor's store changed size")); }};
    for (const Figure &figure : figures()) {
        if (only != QLatin1String("tools") && only != QLatin1String(figure.name))
            continue;
        const std::unique_ptr<tools::ToolWindow> w = figure.open(main);
        const Job run{[&] {
                          copyStore(pristine, editor.tempFile, lines);
                          if (figure.reset)
                              figure.reset(*w);
                          ::sync();
                      },
                      [&] { w->Go->click(); },
                      [&] {
                          prompts.expectNone(QLatin1String(figure.name));
                          check(w->Go->text() == QLatin1String("Go") && !editor.Run && !main.row->isActive(),
                                QStringLiteral("%1 did not give the lock back").arg(QLatin1String(figure.name)));
                          check(QFileInfo(editor.tempFile).size() == storeBytes,
                                QStringLiteral("the store after %1 changed size").arg(QLatin1String(figure.name)));
                          checkStore(editor.tempFile, lines, programLine, figure.expected(main, rules, lines), figure.name);
                      }};
        std::vector<Job> jobs{floor, run};
        QString command; // the text tool the figure is also set against, if any
        const QString textOut = folder.filePath(QStringLiteral("text-out.nc"));
        if (qstrcmp(figure.name, "addn") == 0) {
            command = QStringLiteral("awk");
            jobs.push_back(textCommand(command, {QString::fromLatin1(kAwkRenumber), program}, textOut, lines));
        } else if (qstrcmp(figure.name, "removecomments") == 0) {
            command = QStringLiteral("sed");
            jobs.push_back(textCommand(command, kSedComments + QStringList{program}, textOut, lines));
        }
        const std::vector<Times> t = timeJobs(runs, jobs);
        QFile::remove(textOut);
        w->close();
        const double ratio = t[1].median / t[0].median;
        say(QStringLiteral("%1 (%2): median %3 (runs %4 to %5); floor (one read-and-rewrite pass of the store in 4 MiB "
                           "blocks) %6 (runs %7 to %8); ratio %9 (target <= 2)%10; processor time %11 against %12, "
                           "ratio %13")
                .arg(QLatin1String(figure.name), QLatin1String(figure.what), seconds(t[1].median), seconds(t[1].low),
                     seconds(t[1].high), seconds(t[0].median), seconds(t[0].low), seconds(t[0].high),
                     QString::number(ratio, 'f', 2))
                .arg(ratio <= 2.0 ? QString() : QStringLiteral(" MISSED"), seconds(t[1].cpuMedian),
                     seconds(t[0].cpuMedian), QString::number(t[1].cpuMedian / t[0].cpuMedian, 'f', 2)));
        if (!command.isEmpty())
            say(QStringLiteral("%1 against %2 doing the same on the text file: %2 median %3 (runs %4 to %5); the tool "
                               "takes %6 of %2's time (%2 / tool = %7)")
                    .arg(QLatin1String(figure.name), command, seconds(t[2].median), seconds(t[2].low),
                         seconds(t[2].high), QString::number(t[1].median / t[2].median, 'f', 2),
                         QString::number(t[2].median / t[1].median, 'f', 2)));
    }
    QFile::remove(pristine);
    editor.done();
    return 0;
}
