// vornexa-bench: times the editor control on a program it generates (two million milling lines by
// default) and sets every figure against a floor measured in the same run on the same disk:
//
//   load       loadFile of the program       vs writing a file of the store's size in 1 MiB blocks
//   memory     peak resident memory after the loads
//   yields     timer ticks per second of load (how often the load lets the event loop run)
//   save       saveFile to a new file        vs reading the store and writing a text file of the
//                                               program's size in large blocks
//   page       showing a page mid-program    vs showing a page of a 100-line program
//   edit       a page edit that adds a line  vs one block copy of the store (LineStore::copyRecords)
//   operations Operations adding 0.5 to X on every line, through its window's Go
//                                            vs reading and rewriting every record of the store once
//                                               in 4 MiB blocks; set against the same rewrite with
//                                               awk on the text file, and run with percents off to
//                                               price the progress and the yielding
//
// Each figure is the median of its runs; the runs of a figure and of its floor take turns. The
// page cache stays warm throughout: nothing is dropped, and the floors meet the same cache.
// Any warning of the control, or a result that does not check out, ends the run with exit code 1.

#include "linestore.h"
#include "pageview.h"
#include "tessarc.h"

#include "benchtools.h"
#include "frmop.h"
#include "mainform.h"
#include "operations.h"
#include "prompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
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
#include <sys/resource.h>
#include <unistd.h>

// The serial-line figures (bench_comm.cpp), run only when asked for by name.
int runCommFigure(const QString &figure, int runs, const QString &dir);
// The whole-line tools' figures (bench_wholeline.cpp): all of them when `only` is empty.
QStringList wholeLineFigures();
void runWholeLineFigures(const QString &only, const QString &program, qint64 lines, int runs, const QString &dir);
// The in-place tool figures (bench_tools.cpp), run only when asked for by name, on this program.
QStringList toolFigures();
int runToolFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
// The history's figures (bench_history.cpp), run only when asked for by name.
QStringList historyFigures();
int runHistoryFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
QStringList macroFigures();
// The compare's figure (bench_compare.cpp), run only when asked for by name.
QStringList compareFigures();
int runCompareFigure(qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
// The interpreter's figure (bench_interp.cpp), run only when asked for by name.
QStringList interpFigures();
int runInterpFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
// The toolpath drawing's figure (bench_plot.cpp), run only when asked for by name, on the
// generated program or on --program FILE.
QStringList plotFigures();
int runPlotFigure(const QString &program, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
int runMacroFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
// The toolpath window's figure (bench_view.cpp), run only when asked for by name; it needs a
// platform with OpenGL and says so when it has none.
QStringList viewFigures();
int runViewFigure(const QString &figure, qint64 lines, int runs, const QString &dir, QByteArray (*programLine)(qint64));
// The DNC server's figure (bench_dnc.cpp), run only when asked for by name.
QStringList dncFigures();
int runDncFigure(const QString &dir);
// The search figures (bench_search.cpp), run only when asked for by name.
int runSearchFigure(const QString &figure, qint64 lines, int runs, const QString &dir);

namespace {

constexpr int kRecLen = 500;
constexpr qint64 kMiB = qint64(1) << 20;
constexpr int kPageShowsPerRun = 50;
constexpr int kSmallProgramLines = 100;

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(what.toStdString());
}

void expect(bool ok, const QString &what)
{
    if (!ok)
        fail(what);
}

// ---------------------------------------------------------------- the control's prompts

// Every warning box or beep of the control means an operation failed: it is printed, and the
// next check() ends the run.
class FailingPrompts : public tessarc::ControlPrompts
{
public:
    void warning(QWidget *, const QString &title, const QString &text) override
    {
        QString flat = text;
        flat.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
        std::fprintf(stderr, "vornexa-bench: the editor warned: %s: %s\n", qPrintable(title), qPrintable(flat));
        ++m_reports;
    }
    void beep() override
    {
        std::fprintf(stderr, "vornexa-bench: the editor beeped\n");
        ++m_reports;
    }
    void check(const char *operation) const
    {
        if (m_reports > 0)
            fail(QStringLiteral("the editor reported a failure during %1").arg(QLatin1String(operation)));
    }

private:
    int m_reports = 0;
};


// ---------------------------------------------------------------- plain file I/O for the floors

class File
{
public:
    File(const QString &path, int flags) : m_path(path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0644);
        if (m_fd < 0)
            fail(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ~File()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    void write(const char *data, qint64 size)
    {
        while (size > 0) {
            const ssize_t done = ::write(m_fd, data, static_cast<size_t>(size));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                fail(QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
            data += done;
            size -= done;
        }
    }
    // Up to `size` bytes; fewer only at the end of the file.
    qint64 read(char *data, qint64 size)
    {
        qint64 total = 0;
        while (total < size) {
            const ssize_t done = ::read(m_fd, data + total, static_cast<size_t>(size - total));
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0)
                fail(QStringLiteral("cannot read %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
            if (done == 0)
                break;
            total += done;
        }
        return total;
    }
    int fd() const { return m_fd; }
    void close()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            fail(QStringLiteral("cannot close %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    }

private:
    int m_fd = -1;
    QString m_path;
};

constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;

// Writes `size` bytes to `path` in blocks of `block`: write() and close(), no fsync.
void writeSequential(const QString &path, qint64 size, const QByteArray &block)
{
    File out(path, kCreate);
    for (qint64 left = size; left > 0; left -= block.size())
        out.write(block.constData(), std::min<qint64>(left, block.size()));
    out.close();
}

// Reads the store in 4 MiB blocks and writes `textBytes` of `text` (repeated) to `textPath` in
// 1 MiB blocks as the reading goes, the way a save moves the data.
void readStoreWriteText(const QString &storePath, const QString &textPath, qint64 textBytes, const QByteArray &text)
{
    File in(storePath, O_RDONLY);
    File out(textPath, kCreate);
    const qint64 storeBytes = QFileInfo(storePath).size();
    QByteArray block(4 * kMiB, Qt::Uninitialized);
    qint64 read = 0;
    qint64 written = 0;
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        read += got;
        const qint64 due = got == 0 ? textBytes
                                    : static_cast<qint64>(static_cast<double>(textBytes) * static_cast<double>(read) /
                                                          static_cast<double>(std::max<qint64>(1, storeBytes)));
        while (written < due && (due - written >= text.size() || got == 0)) {
            const qint64 n = std::min<qint64>(text.size(), textBytes - written);
            out.write(text.constData(), n);
            written += n;
        }
        if (got == 0)
            break;
    }
    out.close();
}

// Copies a file with read() and write() in 1 MiB blocks.
void copyPlain(const QString &from, const QString &to)
{
    File in(from, O_RDONLY);
    File out(to, kCreate);
    QByteArray block(kMiB, Qt::Uninitialized);
    while (const qint64 got = in.read(block.data(), block.size()))
        out.write(block.constData(), got);
    out.close();
}

// Reads every record of a store and writes it back in place, in 4 MiB blocks.
void rewriteInPlace(const QString &path)
{
    File file(path, O_RDWR);
    QByteArray block(4 * kMiB, Qt::Uninitialized);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(file.fd(), block.data(), static_cast<size_t>(block.size()), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(file.fd(), block.constData() + done, static_cast<size_t>(got - done), at + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                fail(QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            done += put;
        }
        at += got;
    }
    file.close();
}

bool sameContents(const QString &a, const QString &b)
{
    if (QFileInfo(a).size() != QFileInfo(b).size())
        return false;
    File fa(a, O_RDONLY);
    File fb(b, O_RDONLY);
    QByteArray ba(4 * kMiB, Qt::Uninitialized);
    QByteArray bb(4 * kMiB, Qt::Uninitialized);
    for (;;) {
        const qint64 na = fa.read(ba.data(), ba.size());
        const qint64 nb = fb.read(bb.data(), bb.size());
        if (na != nb || std::memcmp(ba.constData(), bb.constData(), static_cast<size_t>(na)) != 0)
            return false;
        if (na == 0)
            return true;
    }
}

// ---------------------------------------------------------------- the generated program

quint64 mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// " X-12.3456": a word with a value given in ten-thousandths.
void appendWord(QByteArray &line, char letter, qint64 tenThousandths)
{
    const long long a = tenThousandths < 0 ? -tenThousandths : tenThousandths;
    char word[40];
    const int n = std::snprintf(word, sizeof word, " %c%s%lld.%04lld", letter, tenThousandths < 0 ? "-" : "",
                                a / 10000, a % 10000);
    line.append(word, n);
}

// Line k (from 1) of the generated program, without its line end: a 3-axis milling block of
// about 48 bytes. Every line follows from its number alone, so any line can be checked.
QByteArray programLine(qint64 k)
{
    static const int feeds[] = {300, 600, 800, 1200, 1500, 2000, 2500};
    const quint64 a = mix(static_cast<quint64>(k) * 2);
    const quint64 b = mix(static_cast<quint64>(k) * 2 + 1);
    const qint64 x = static_cast<qint64>((a & 0xffffffffu) % 3000001) - 1500000; // -150 ... 150 mm
    const qint64 y = static_cast<qint64>((a >> 32) % 3000001) - 1500000;
    const qint64 z = static_cast<qint64>((b & 0xffffffffu) % 300001) - 250000; // -25 ... 5 mm
    const int kind = static_cast<int>((b >> 32) % 20);
    const int feed = feeds[(b >> 40) % 7];

    QByteArray line;
    line.reserve(64);
    line.append('N').append(QByteArray::number(k * 10));
    if (kind < 2) { // rapid
        line.append(" G00");
        appendWord(line, 'X', x);
        appendWord(line, 'Y', y);
        appendWord(line, 'Z', z);
    } else if (kind < 4) { // arc by radius
        line.append(kind == 2 ? " G02" : " G03");
        appendWord(line, 'X', x);
        appendWord(line, 'Y', y);
        appendWord(line, 'R', static_cast<qint64>((b >> 44) % 500000) + 10000);
        line.append(" F").append(QByteArray::number(feed)).append('.');
    } else {
        line.append(" G01");
        appendWord(line, 'X', x);
        appendWord(line, 'Y', y);
        appendWord(line, 'Z', z);
        line.append(" F").append(QByteArray::number(feed)).append('.');
    }
    return line;
}

struct Program
{
    QString path;
    qint64 lines = 0;
    qint64 bytes = 0;
};

// Writes the program's first `lines` lines, each ended by CR LF, in 1 MiB blocks.
Program writeProgram(const QString &path, qint64 lines)
{
    File out(path, kCreate);
    QByteArray block;
    block.reserve(kMiB + 128);
    qint64 bytes = 0;
    for (qint64 k = 1; k <= lines; ++k) {
        block.append(programLine(k)).append("\r\n", 2);
        if (block.size() >= kMiB || k == lines) {
            out.write(block.constData(), block.size());
            bytes += block.size();
            block.resize(0);
        }
    }
    out.close();
    return {path, lines, bytes};
}

// ---------------------------------------------------------------- timing

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

// One measured operation: `prepare` and `verify` run untimed before and after each timed `body`.
struct Job
{
    std::function<void()> prepare;
    std::function<void()> body;
    std::function<void()> verify;
};

// Runs every job `runs` times, the jobs taking turns so that each meets the same disk and cache
// state, and returns each job's median time in seconds.
std::vector<double> medianSeconds(int runs, const std::vector<Job> &jobs)
{
    std::vector<std::vector<double>> times(jobs.size());
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (jobs[j].prepare)
                jobs[j].prepare();
            clock.start();
            jobs[j].body();
            times[j].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            if (jobs[j].verify)
                jobs[j].verify();
        }
    }
    std::vector<double> medians;
    for (const std::vector<double> &t : times)
        medians.push_back(median(t));
    return medians;
}

// ---------------------------------------------------------------- reporting

// Decimal units: 1.00 GB is 10^9 bytes.
QString sizeText(qint64 bytes)
{
    const double b = static_cast<double>(bytes);
    if (b >= 1e9)
        return QString::number(b / 1e9, 'f', 2) + QStringLiteral(" GB");
    if (b >= 1e6)
        return QString::number(b / 1e6, 'f', 1) + QStringLiteral(" MB");
    return QString::number(b / 1e3, 'f', 1) + QStringLiteral(" kB");
}

QString duration(double seconds)
{
    if (seconds >= 0.1)
        return QString::number(seconds, 'f', 3) + QStringLiteral(" s");
    return QString::number(seconds * 1e3, 'f', 3) + QStringLiteral(" ms");
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// "<what>: median <t>; floor (<floorWhat>) <f>; ratio <r> (target <= <target>)<extra>"
void sayFigure(const QString &what, double value, const QString &floorWhat, double floor, double target,
               const QString &extra = QString())
{
    const double ratio = floor > 0 ? value / floor : 0.0;
    say(QStringLiteral("%1: median %2; floor (%3) %4; ratio %5 (target <= %6)%7%8")
            .arg(what, duration(value), floorWhat, duration(floor), QString::number(ratio, 'f', 2),
                 QString::number(target), ratio <= target ? QString() : QStringLiteral(" MISSED"), extra));
}

// ---------------------------------------------------------------- the editor

// A control set up as the application sets it up, its stores in `dir`.
std::unique_ptr<TESSARC> makeEditor(const QDir &dir, const QString &name, FailingPrompts &prompts)
{
    auto editor = std::make_unique<TESSARC>();
    editor->setPrompts(&prompts);
    editor->recLen = kRecLen;
    editor->tempFile = dir.filePath(name + QStringLiteral(".store"));
    editor->tempFile2 = dir.filePath(name + QStringLiteral(".scratch"));
    editor->startComment = QStringLiteral("(");
    editor->endComment = QStringLiteral(")");
    editor->assigncolors(0, 0xC00000, QStringLiteral("G"));
    editor->assigncolors(1, 0x0000C0, QStringLiteral("X"));
    editor->assigncolors(2, 0x008000, QStringLiteral("Y"));
    editor->assigncolors(3, 0x800080, QStringLiteral("Z"));
    editor->assigncolors(4, 0x006090, QStringLiteral("IJKR"));
    editor->assigncolors(5, 0x808000, QStringLiteral("FS"));
    editor->assigncolors(6, 0x0060E0, QStringLiteral("MTN"));
    editor->assigncolors(7, 0x808080, QString());
    editor->resize(640, 480);
    editor->show();
    QCoreApplication::processEvents(); // the first show's resize sets the page size
    return editor;
}

// Record `line` of the control's store.
QByteArray storedLine(const TESSARC &editor, qint64 line)
{
    tessarc::LineStore store;
    store.open(editor.tempFile, editor.recLen, false);
    QByteArray text = store.read(tessarc::LineNumber(line));
    store.close();
    return text;
}

// 50 page tops around `centre`, alternating either side of it, so no page is shown twice running.
std::vector<int> pageTops(int centre, int total, int pageLines)
{
    std::vector<int> tops;
    const int last = std::max(1, total - pageLines + 1);
    for (int i = 0; i < kPageShowsPerRun; ++i) {
        const int step = (i + 1) / 2;
        tops.push_back(std::clamp(centre + (i % 2 ? step : -step), 1, last));
    }
    return tops;
}

// ---------------------------------------------------------------- the figures

// What every figure works on.
struct Bench
{
    QDir dir;
    int runs = 0;
    FailingPrompts prompts;
    Program big;
    Program small;
    std::unique_ptr<TESSARC> editor; // holds `big` once loaded
    qint64 memoryBeforeLoading = 0;

    qint64 storeBytes() const { return big.lines * kRecLen; }
    int middle() const { return static_cast<int>(big.lines / 2); }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    void load(TESSARC &control, const Program &program) const
    {
        control.loadFile(program.path);
        checkLoaded(control, program);
    }
    void checkLoaded(const TESSARC &control, const Program &program) const
    {
        prompts.check("loadFile");
        expect(control.lfile == program.path && control.numberOfLines() == program.lines,
               QStringLiteral("loading %1 gave %2 lines, not %3").arg(program.path).arg(control.numberOfLines()).arg(program.lines));
        expect(QFileInfo(control.tempFile).size() == program.lines * kRecLen,
               QStringLiteral("the store after loading is %1 bytes, not %2")
                   .arg(QFileInfo(control.tempFile).size())
                   .arg(program.lines * kRecLen));
    }
};

void expectSize(const QString &path, qint64 size)
{
    expect(QFileInfo(path).size() == size,
           QStringLiteral("%1 is %2 bytes, not %3").arg(path).arg(QFileInfo(path).size()).arg(size));
}

void benchLoad(Bench &b)
{
    const QString floorFile = b.path("floor-write.bin");
    QByteArray block(kMiB, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i % kRecLen < 50 ? 'A' + i % 26 : 0);

    const Job floor{[&] { QFile::remove(floorFile); }, [&] { writeSequential(floorFile, b.storeBytes(), block); },
                    [&] { expectSize(floorFile, b.storeBytes()); }};
    const Job load{[&] { b.editor->done(); }, [&] { b.editor->loadFile(b.big.path); },
                   [&] { b.checkLoaded(*b.editor, b.big); }};
    const std::vector<double> t = medianSeconds(b.runs, {floor, load});
    QFile::remove(floorFile);

    sayFigure(QStringLiteral("load %1 lines").arg(b.big.lines), t[1],
              QStringLiteral("sequential write of %1 in 1 MiB blocks").arg(sizeText(b.storeBytes())), t[0], 1.5);
    const qint64 peak = benchtools::peakResident(false);
    say(QStringLiteral("peak resident memory after loading: %1 (target < 150 MB)%2; %3 before the first load")
            .arg(sizeText(peak), peak < 150000000 ? QString() : QStringLiteral(" MISSED"),
                 sizeText(b.memoryBeforeLoading)));
}

// Counts the ticks of a 10 ms timer while the program loads: the load lets the event loop run
// only now and then, and every time it does the timer ticks once at most.
void benchYields(Bench &b)
{
    QTimer timer;
    timer.setInterval(10);
    int ticks = 0;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QElapsedTimer loadClock;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    std::vector<double> perSecond;
    std::vector<double> gaps;

    const Job load{[&] {
                       b.editor->done();
                       ticks = 0;
                       longestGap = 0;
                       timer.start();
                       sinceTick.start();
                       loadClock.start();
                   },
                   [&] { b.editor->loadFile(b.big.path); },
                   [&] {
                       const double seconds = static_cast<double>(loadClock.nsecsElapsed()) / 1e9;
                       timer.stop();
                       longestGap = std::max(longestGap, sinceTick.elapsed());
                       b.checkLoaded(*b.editor, b.big);
                       perSecond.push_back(ticks / seconds);
                       gaps.push_back(static_cast<double>(longestGap));
                   }};
    medianSeconds(b.runs, {load});

    say(QStringLiteral("event loop during load: median %1 ticks of a 10 ms timer per second of load "
                       "(tens expected, at most 100); longest gap between ticks median %2 ms")
            .arg(median(perSecond), 0, 'f', 1)
            .arg(median(gaps), 0, 'f', 0));
}

void benchSave(Bench &b)
{
    const QString saved = b.path("saved.nc");
    const QString floorFile = b.path("floor-save.nc");
    QByteArray text; // 1 MiB of program text for the floor to write
    for (qint64 k = 1; text.size() < kMiB; ++k)
        text.append(programLine(k)).append("\r\n", 2);
    text.truncate(kMiB);

    const Job floor{[&] { QFile::remove(floorFile); },
                    [&] { readStoreWriteText(b.editor->tempFile, floorFile, b.big.bytes, text); },
                    [&] { expectSize(floorFile, b.big.bytes); }};
    const Job save{[&] { QFile::remove(saved); }, [&] { b.editor->saveFile(saved); },
                   [&] {
                       b.prompts.check("saveFile");
                       expect(sameContents(saved, b.big.path),
                              QStringLiteral("the saved %1 differs from the program loaded").arg(saved));
                   }};
    const std::vector<double> t = medianSeconds(b.runs, {floor, save});
    QFile::remove(saved);
    QFile::remove(floorFile);

    sayFigure(QStringLiteral("save %1 lines to a new file").arg(b.big.lines), t[1],
              QStringLiteral("reading the %1 store in 4 MiB blocks and writing %2 of text in 1 MiB blocks")
                  .arg(sizeText(b.storeBytes()), sizeText(b.big.bytes)),
              t[0], 2.0);
}

// Pages shown (and drawn) around the middle of the program, taking turns with pages of a
// 100-line program in a second control of the same size.
void benchPage(Bench &b)
{
    std::unique_ptr<TESSARC> shortOne = makeEditor(b.dir, QStringLiteral("small"), b.prompts);
    b.load(*shortOne, b.small);
    const std::vector<int> bigTops = pageTops(b.middle(), static_cast<int>(b.big.lines), b.editor->lines);
    const int smallCentre = (kSmallProgramLines - shortOne->lines) / 2 + 1;
    const std::vector<int> smallTops = pageTops(smallCentre, kSmallProgramLines, shortOne->lines);
    size_t show = 0; // index into the tops, advanced once both controls have shown a page

    auto showing = [&show](TESSARC &control, const std::vector<int> &tops) {
        return Job{{},
                   [&control, &tops, &show] {
                       control.setLine(tops[show % tops.size()]);
                       QCoreApplication::processEvents(); // the page is drawn
                   },
                   [&control, &tops, &show] {
                       const int top = tops[show % tops.size()];
                       const QStringList page = control.txtmain->pageLines();
                       expect(control.curLine == top && !page.isEmpty() &&
                                  page.front() == QString::fromLatin1(programLine(top)),
                              QStringLiteral("setLine(%1) shows the page at %2").arg(top).arg(control.curLine));
                   }};
    };
    const Job big = showing(*b.editor, bigTops);
    Job small = showing(*shortOne, smallTops);
    small.verify = [check = small.verify, &show] {
        check();
        ++show;
    };
    const std::vector<double> t = medianSeconds(b.runs * kPageShowsPerRun, {big, small});
    b.prompts.check("setLine");
    shortOne->done();

    sayFigure(QStringLiteral("page at line %1 of %2 (%3 pages around it, %4 shows)")
                  .arg(b.middle())
                  .arg(b.big.lines)
                  .arg(kPageShowsPerRun)
                  .arg(b.runs * kPageShowsPerRun),
              t[0], QStringLiteral("page of a %1-line program").arg(kSmallProgramLines), t[1], 2.0);
}

// A line break typed at the top of the middle page; showing the page again writes it back, which
// rebuilds the store with one line more.
void benchEdit(Bench &b)
{
    TESSARC &editor = *b.editor;
    const int mid = b.middle();
    const QString floorCopy = b.path("floor-copy.store");
    const QString plainCopy = b.path("plain-copy.store");
    int before = 0;
    QString firstBefore;

    const Job edit{[&] {
                       editor.setLine(mid);
                       QCoreApplication::processEvents();
                       expect(editor.curLine == mid, QStringLiteral("setLine(%1) shows line %2").arg(mid).arg(editor.curLine));
                       before = editor.numberOfLines();
                       firstBefore = editor.txtmain->pageLines().front();
                   },
                   [&] {
                       editor.txtmain->textCursor().insertText(QStringLiteral("\n"));
                       editor.loadLine(editor.curLine);
                   },
                   [&] {
                       QCoreApplication::processEvents();
                       b.prompts.check("the page edit");
                       const int after = editor.numberOfLines();
                       expect(after == before + 1, QStringLiteral("the edit left %1 lines, not %2").arg(after).arg(before + 1));
                       const QStringList page = editor.txtmain->pageLines();
                       expect(page.size() >= 2 && page.at(0).isEmpty() && page.at(1) == firstBefore,
                              QStringLiteral("the page after the edit does not start with the new empty line"));
                       expect(storedLine(editor, mid - 1) == programLine(mid - 1) &&
                                  storedLine(editor, after) == programLine(b.big.lines),
                              QStringLiteral("the store after the edit does not hold the program's lines"));
                   }};
    const Job blockCopy{[&] { QFile::remove(floorCopy); },
                        [&] {
                            tessarc::LineStore from;
                            tessarc::LineStore to;
                            from.open(editor.tempFile, kRecLen, false);
                            to.open(floorCopy, kRecLen);
                            tessarc::LineStore::copyRecords(from, tessarc::LineNumber(1), editor.numberOfLines(), to,
                                                            tessarc::LineNumber(1));
                            to.close();
                            from.close();
                        },
                        [&] { expectSize(floorCopy, QFileInfo(editor.tempFile).size()); }};
    const Job plain{[&] { QFile::remove(plainCopy); }, [&] { copyPlain(editor.tempFile, plainCopy); },
                    [&] { expectSize(plainCopy, QFileInfo(editor.tempFile).size()); }};
    const std::vector<double> t = medianSeconds(b.runs, {edit, blockCopy, plain});
    QFile::remove(floorCopy);
    QFile::remove(plainCopy);

    sayFigure(QStringLiteral("page edit adding a line at line %1").arg(mid), t[0],
              QStringLiteral("one block copy of the %1 store with LineStore::copyRecords").arg(sizeText(b.storeBytes())),
              t[1], 1.5, QStringLiteral("; for reference a read/write copy in 1 MiB blocks takes %1").arg(duration(t[2])));
}

// The rewrite of the operations figure done with awk on the program's text: the first X (or x)
// and the number characters after it, spaces included, replaced by the value plus 0.5 written with
// at most four decimals and a trailing point, as Operations writes it with the default settings.
const char *const kAwkAddHalfToX =
    "{ if (match($0, /[Xx][-+. 0-9]*/)) {"
    " n = substr($0, RSTART + 1, RLENGTH - 1); gsub(/ /, \"\", n);"
    " v = sprintf(\"%.4f\", n + 0.5); sub(/0+$/, \"\", v); if (v == \"-0.\") v = \"0.\";"
    " $0 = substr($0, 1, RSTART) v substr($0, RSTART + RLENGTH) }"
    " print }";

qint64 countLines(const QString &path)
{
    File in(path, O_RDONLY);
    QByteArray block(4 * kMiB, Qt::Uninitialized);
    qint64 lines = 0;
    while (const qint64 got = in.read(block.data(), block.size()))
        lines += std::count(block.constData(), block.constData() + got, '\n');
    return lines;
}

// Operations adding 0.5 to X on every line of the program, through the window's Go on a main
// window of the application, with percents on (the default) and off; every run starts from the
// program as loaded, and every run here (floors included) starts with no dirty pages waiting to be
// written out, so that none pays for the writing left behind by the one before. Floors: every record of the store read and written back once in 4 MiB blocks,
// and the same rewrite done by awk on the program's text file.
void benchOperations(Bench &b)
{
    // The main window keeps its settings and program folder in the scratch folder.
    qputenv("VORNEXA_HOME", QFile::encodeName(b.path("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(b.path("config")));
    benchtools::FailingPrompts prompts;
    mainform main(prompts);
    main.resize(640, 480);
    main.show();
    QCoreApplication::processEvents();
    TESSARC &editor = *main.TESSARC1;
    editor.recLen = kRecLen;
    editor.tempFile = b.path("operations.store");
    editor.tempFile2 = b.path("operations.scratch");
    editor.lockup(false);
    editor.loadFile(b.big.path);
    prompts.check("loadFile");
    expect(editor.numberOfLines() == b.big.lines, QStringLiteral("the main window loaded %1 lines").arg(editor.numberOfLines()));

    // The store as loaded, put back before every run.
    const QString pristine = b.path("operations.pristine");
    auto copyStore = [&](const QString &from, const QString &to) {
        tessarc::LineStore in;
        tessarc::LineStore out;
        in.open(from, kRecLen, false);
        out.open(to, kRecLen);
        tessarc::LineStore::copyRecords(in, tessarc::LineNumber(1), b.big.lines, out, tessarc::LineNumber(1));
        out.close();
        in.close();
    };
    copyStore(editor.tempFile, pristine);

    frmOp window(main);
    window.Form_Load();
    window.txtAxis->setText(QStringLiteral("X"));
    window.txtValue->setText(QStringLiteral("0.5"));
    window.ALL->setChecked(true);

    // Lines checked after every run against the per-line rewrite itself.
    tools::LineRules rules;
    rules.maxLength = kRecLen - 2;
    const tools::OperationsSettings add{tools::Operation::Add, QStringLiteral("X"), QStringLiteral("0.5")};
    std::vector<qint64> samples = {1, 2, b.big.lines / 3, b.big.lines / 2, b.big.lines - 1, b.big.lines};
    for (qint64 i = 1; i <= 50; ++i)
        samples.push_back(1 + static_cast<qint64>(mix(static_cast<quint64>(i)) % static_cast<quint64>(b.big.lines)));

    // How long after Go the run's records are on the disk and its journal says so (the flush runs
    // on a thread of its own; the run does not wait for it).
    std::vector<double> durableAfter;
    // Every run starts with an empty history; a run keeps its step for Undo unless `history` is off.
    auto operations = [&](bool percents, bool history = true) {
        return Job{[&, percents, history] {
                       editor.program().finishJournal();
                       editor.program().history().clear();
                       editor.program().history().setLimits(history ? 100 : 0, qint64(2048) << 20);
                       copyStore(pristine, editor.tempFile);
                       main.globalVar.numbers.calcPercent = percents;
                       ::sync();
                   },
                   [&] { window.Go->click(); },
                   [&] {
                       QElapsedTimer flush;
                       flush.start();
                       editor.program().finishJournal();
                       durableAfter.push_back(static_cast<double>(flush.nsecsElapsed()) / 1e9);
                       prompts.check("the Operations run");
                       expect(window.Go->text() == QLatin1String("Go") && !editor.Run && !main.row->isActive(),
                              QStringLiteral("the Operations run did not give the lock back"));
                       expect(QFileInfo(editor.tempFile).size() == b.storeBytes(),
                              QStringLiteral("the store after the Operations run is %1 bytes").arg(QFileInfo(editor.tempFile).size()));
                       for (qint64 k : samples) {
                           const QByteArray want = tools::rewriteLine(add, programLine(k), rules).line;
                           expect(storedLine(editor, k) == want,
                                  QStringLiteral("line %1 after the Operations run is \"%2\", not \"%3\"")
                                      .arg(k)
                                      .arg(QString::fromLatin1(storedLine(editor, k)), QString::fromLatin1(want)));
                       }
                   }};
    };
    const Job floor{[] { ::sync(); }, [&] { rewriteInPlace(pristine); }, [&] { expectSize(pristine, b.storeBytes()); }};
    const QString awkOut = b.path("awk.nc");
    const Job awk{[&] {
                      QFile::remove(awkOut);
                      ::sync();
                  },
                  [&] {
                      QProcess process;
                      process.setStandardOutputFile(awkOut);
                      process.start(QStringLiteral("awk"), {QString::fromLatin1(kAwkAddHalfToX), b.big.path});
                      expect(process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
                                 process.exitCode() == 0,
                             QStringLiteral("awk failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError())));
                  },
                  [&] {
                      expect(countLines(awkOut) == b.big.lines,
                             QStringLiteral("awk wrote %1 lines, not %2").arg(countLines(awkOut)).arg(b.big.lines));
                  }};
    // A run goes a little faster or slower by what ran just before it, so percents on and off each
    // run once before and once after the other, and each figure is the mean of its two medians.
    const std::vector<double> t = medianSeconds(
        b.runs, {floor, awk, operations(true), operations(false), operations(false), operations(true),
                 operations(true, false)});
    const double floorTime = t[0];
    const double awkTime = t[1];
    const double on = (t[2] + t[5]) / 2;
    const double off = (t[3] + t[4]) / 2;
    QFile::remove(awkOut);
    QFile::remove(pristine);
    window.close();
    editor.done();

    sayFigure(QStringLiteral("Operations, add 0.5 to X on %1 lines").arg(b.big.lines), on,
              QStringLiteral("reading and rewriting the %1 store in 4 MiB blocks").arg(sizeText(b.storeBytes())), floorTime,
              2.0);
    const double stepless = t[6];
    say(QStringLiteral("Operations with no step kept for Undo: median %1; keeping the step adds %2% (target <= 25%)%3")
            .arg(duration(stepless), QString::number((on - stepless) / stepless * 100.0, 'f', 1),
                 (on - stepless) / stepless <= 0.25 ? QString() : QStringLiteral(" MISSED")));
    say(QStringLiteral("Operations: the store flushed and its journal written %1 (median) after Go gave the program "
                       "back; the run does not wait for it")
            .arg(duration(median(durableAfter))));
    const double cost = off > 0 ? (on - off) / off * 100.0 : 0.0;
    say(QStringLiteral("Operations progress and yielding: median %1 with percents on, %2 with them off; cost %3% "
                       "(target < 5%)%4")
            .arg(duration(on), duration(off), QString::number(cost, 'f', 1),
                 cost < 5.0 ? QString() : QStringLiteral(" MISSED")));
    say(QStringLiteral("Operations against awk doing the same rewrite of the %1 text file: awk median %2; "
                       "Operations takes %3 of awk's time (awk / Operations = %4)")
            .arg(sizeText(b.big.bytes), duration(awkTime), QString::number(on / awkTime, 'f', 2),
                 QString::number(awkTime / on, 'f', 2)));
}

struct Options
{
    qint64 lines = 2000000;
    int runs = 5;
    QString dir;
    QString only; // one figure's name, or empty for all of them
    QString program; // the plot figure's program, or empty for the generated one
};

const QStringList kFigures = QStringList{QStringLiteral("load"), QStringLiteral("yields"), QStringLiteral("save"),
                                          QStringLiteral("page"), QStringLiteral("edit"), QStringLiteral("operations"),
                                          QStringLiteral("send"), QStringLiteral("sendcpu"), QStringLiteral("sendwindow"),
                                          QStringLiteral("find"), QStringLiteral("replace"), QStringLiteral("findlist"),
                                          QStringLiteral("findaxis"), QStringLiteral("replacevalue"),
                                          QStringLiteral("findlistaxis")} +
                              toolFigures() + wholeLineFigures() + macroFigures() + historyFigures() + interpFigures() + compareFigures() +
                              plotFigures() + viewFigures() + dncFigures();

int run(const Options &options)
{
    if (options.only == QLatin1String("send") || options.only == QLatin1String("sendcpu") ||
        options.only == QLatin1String("sendwindow"))
        return runCommFigure(options.only, options.runs, options.dir);
    if (toolFigures().contains(options.only))
        return runToolFigure(options.only, options.lines, options.runs, options.dir, &programLine);
    if (historyFigures().contains(options.only))
        return runHistoryFigure(options.only, options.lines, options.runs, options.dir, &programLine);
    if (macroFigures().contains(options.only))
        return runMacroFigure(options.only, options.lines, options.runs, options.dir, &programLine);
    if (compareFigures().contains(options.only))
        return runCompareFigure(options.lines, options.runs, options.dir, &programLine);
    if (interpFigures().contains(options.only))
        return runInterpFigure(options.only, options.lines, options.runs, options.dir, &programLine);
    if (plotFigures().contains(options.only))
        return runPlotFigure(options.program, options.lines, options.runs, options.dir, &programLine);
    if (dncFigures().contains(options.only))
        return runDncFigure(options.dir);
    if (viewFigures().contains(options.only))
        return runViewFigure(options.only, options.lines, options.runs, options.dir, &programLine);
    if (options.only == QLatin1String("find") || options.only == QLatin1String("replace") ||
        options.only == QLatin1String("findlist") || options.only == QLatin1String("findaxis") ||
        options.only == QLatin1String("replacevalue") || options.only == QLatin1String("findlistaxis"))
        return runSearchFigure(options.only, options.lines, options.runs, options.dir);
    QElapsedTimer wall;
    wall.start();
    const QString base = options.dir.isEmpty() ? QStringLiteral("/tmp") : options.dir;
    expect(QFileInfo(base).isDir(), QStringLiteral("there is no folder %1").arg(base));
    // The program, the store, the rebuild's scratch store and the floors' copies at the same time.
    const qint64 needed = options.lines * (3 * kRecLen + 3 * 64);
    const qint64 available = QStorageInfo(base).bytesAvailable();
    expect(available < 0 || available > needed,
           QStringLiteral("%1 has %2 free; the run needs about %3").arg(base, sizeText(available), sizeText(needed)));
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    expect(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));

    Bench b;
    b.dir = QDir(scratch.path());
    b.runs = options.runs;
    b.big = writeProgram(b.path("big.nc"), options.lines);
    b.small = writeProgram(b.path("small.nc"), kSmallProgramLines);
    b.editor = makeEditor(b.dir, QStringLiteral("big"), b.prompts);

    say(QStringLiteral("vornexa-bench: program of %1 lines, %2 (%3 bytes a line with CR LF); record length %4, "
                       "store %5; page %6 lines; %7 runs")
            .arg(b.big.lines)
            .arg(sizeText(b.big.bytes))
            .arg(static_cast<double>(b.big.bytes) / static_cast<double>(b.big.lines), 0, 'f', 1)
            .arg(kRecLen)
            .arg(sizeText(b.storeBytes()))
            .arg(b.editor->lines)
            .arg(b.runs));
    say(QStringLiteral("scratch folder %1; the page cache is warm (nothing is dropped from it) and every floor "
                       "is measured the same way, on the same disk, taking turns with its figure")
            .arg(b.dir.path()));

    b.memoryBeforeLoading = benchtools::peakResident(false);
    auto wanted = [&options](const char *figure) { return options.only.isEmpty() || options.only == QLatin1String(figure); };
    // One untimed load first, so that no timed run is the first to touch the memory a store takes.
    if (options.only != QLatin1String("operations") && !wholeLineFigures().contains(options.only))
        b.load(*b.editor, b.big);
    if (wanted("load"))
        benchLoad(b);
    if (wanted("yields"))
        benchYields(b);
    if (wanted("save"))
        benchSave(b);
    if (wanted("page"))
        benchPage(b);
    if (wanted("edit"))
        benchEdit(b);
    if (wanted("operations"))
        benchOperations(b);
    if (options.only.isEmpty() || wholeLineFigures().contains(options.only))
        runWholeLineFigures(options.only, b.big.path, b.big.lines, b.runs, b.dir.path());

    b.editor->done();
    b.editor.reset();
    expect(scratch.remove(), QStringLiteral("cannot remove the scratch folder %1").arg(b.dir.path()));
    say(QStringLiteral("done in %1; generated files removed").arg(duration(static_cast<double>(wall.elapsed()) / 1e3)));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the editor control on a generated program."));
    parser.addHelpOption();
    const QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("Lines of the program (default 2000000)."),
                                         QStringLiteral("N"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of every figure (default 5)."),
                                        QStringLiteral("R"));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("200000 lines and 3 runs."));
    const QCommandLineOption dirOption(QStringLiteral("dir"),
                                       QStringLiteral("Existing folder in which the scratch folder is made (default /tmp)."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Only this figure: load, yields, save, page, edit, operations, send, sendcpu, "
                                                       "sendwindow, find, replace, findlist, findaxis, replacevalue, findlistaxis, findsize, export, copylines, insert, "
                                                       "remove, swap, or a tool's (see README.md)."),
                                        QStringLiteral("FIGURE"));
    const QCommandLineOption programOption(QStringLiteral("program"),
                                           QStringLiteral("The program of the plot figure (default: the generated one)."),
                                           QStringLiteral("FILE"));
    parser.addOptions({linesOption, runsOption, quickOption, dirOption, onlyOption, programOption});
    parser.process(app);

    Options options;
    if (parser.isSet(quickOption)) {
        options.lines = 200000;
        options.runs = 3;
    }
    bool ok = true;
    if (parser.isSet(linesOption))
        options.lines = parser.value(linesOption).toLongLong(&ok);
    if (!ok || options.lines < 1000 || options.lines > 100000000) {
        std::fprintf(stderr, "vornexa-bench: --lines takes a number from 1000 to 100000000\n");
        return 2;
    }
    if (parser.isSet(runsOption))
        options.runs = parser.value(runsOption).toInt(&ok);
    if (!ok || options.runs < 1 || options.runs > 1000) {
        std::fprintf(stderr, "vornexa-bench: --runs takes a number from 1 to 1000\n");
        return 2;
    }
    options.dir = parser.value(dirOption);
    options.only = parser.value(onlyOption);
    options.program = parser.value(programOption);
    if (!options.only.isEmpty() && !kFigures.contains(options.only)) {
        std::fprintf(stderr, "vornexa-bench: --only takes one of %s\n", qPrintable(kFigures.join(QStringLiteral(", "))));
        return 2;
    }

    try {
        return run(options);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "vornexa-bench: FAILED: %s\n", error.what());
        return 1;
    }
}
