// The serial-line figures of vornexa-bench, run with --only send or --only sendcpu:
//
//   send     sending a 1,000,000-line program from a line store over a pty whose far end reads as
//            fast as it can, through SendTransfer   vs a plain loop writing the same lines (one
//            write() a line, read from the same store) to the same kind of pty
//   sendcpu  the process's processor time while sending to a far end that takes 960 bytes a
//            second (9,600 baud), in windows of 20 seconds
//   sendwindow  the same send as the send figure pressed through the Send window's button on a
//            main window of the application (the program loaded by its editor, the percentage on
//            the button)   vs the same plain loop
//
// The far end of the send figure is a thread that checks every byte it gets against the program
// (a running hash and a count); the far end of the CPU figure is a child process, so its reading
// is not counted.

#include "benchtools.h"
#include "commwindows.h"
#include "frmsend.h"
#include "linestore.h"
#include "machinefolder.h"
#include "machinepicker.h"
#include "mainform.h"
#include "prompts.h"
#include "sendframing.h"
#include "sendtransfer.h"
#include "settingsstore.h"
#include "tessarc.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using benchtools::check;
using benchtools::median;
using benchtools::say;
using benchtools::seconds;

namespace {

constexpr int kRecLen = 500;
constexpr qint64 kLines = 1000000;
constexpr int kCpuWindowSeconds = 20;
constexpr int kSlowBytesPerSecond = 960;

// Line k of the program: a milling block of about 40 bytes that follows from k alone.
QByteArray line(qint64 k)
{
    QByteArray text = "N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number((k * 7919) % 300000 - 150000) +
                      " Y" + QByteArray::number((k * 104729) % 300000 - 150000) + " F" +
                      QByteArray::number(300 + k % 7 * 100) + ".";
    return text;
}

quint64 fnv(quint64 hash, const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

constexpr quint64 kFnvStart = 0xcbf29ce484222325ULL;

struct Store
{
    QString path;
    qint64 bytes = 0; // on the wire, each line with CR LF
    quint64 hash = kFnvStart;
};

Store writeStore(const QString &path)
{
    Store s{path};
    tessarc::LineStore store;
    store.open(path, kRecLen);
    for (qint64 k = 1; k <= kLines; ++k) {
        const QByteArray text = line(k) + "\r\n";
        store.write(tessarc::LineNumber(k), QByteArrayView(text).chopped(2));
        s.bytes += text.size();
        s.hash = fnv(s.hash, text.constData(), text.size());
    }
    store.close();
    return s;
}

// A pty pair whose master a thread reads as fast as it can, hashing what arrives.
class FastFarEnd
{
public:
    FastFarEnd()
    {
        slavePath = benchtools::openFarEnd(m_master);
        m_thread = std::thread([this] {
            std::vector<char> buffer(1 << 16);
            while (!m_stop) {
                pollfd p{m_master, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
                if (n > 0) {
                    m_hash = fnv(m_hash, buffer.data(), n);
                    m_count += n;
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        });
    }
    ~FastFarEnd()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_master);
    }
    // Waits until `bytes` have arrived (or ten seconds pass) and gives their hash.
    quint64 waitFor(qint64 bytes) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_count.load() < bytes && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        check(m_count.load() == bytes,
              QStringLiteral("the far end got %1 bytes, not %2").arg(m_count.load()).arg(bytes));
        return m_hash.load();
    }

    QString slavePath;

private:
    int m_master = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_count{0};
    std::atomic<quint64> m_hash{kFnvStart};
    std::thread m_thread;
};

comm::MachineProfile benchProfile()
{
    comm::MachineProfile p = comm::newProfile(QStringLiteral("Bench"));
    p.eob = "\r\n";
    p.handshake = 1;
    return p;
}

comm::SendJob jobFor(const Store &store)
{
    // The program a job sends outlives the job.
    static tessarc::Program program;
    program.store = store.path;
    program.recordLength = kRecLen;
    program.setLineCount(kLines);
    comm::SendJob job;
    job.program = &program;
    job.first = 1;
    job.last = kLines;
    return job;
}

// One send through SendTransfer to the end; the far end has every byte when it returns.
double timeTransfer(const Store &store)
{
    FastFarEnd far;
    comm::PortMap ports;
    ports.setDevice(1, far.slavePath);
    comm::SendTransfer transfer(benchProfile(), ports, jobFor(store));
    QEventLoop loop;
    comm::TransferResult result;
    QObject::connect(&transfer, &comm::SendTransfer::finished, &loop, [&](const comm::TransferResult &r) {
        result = r;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    transfer.start();
    loop.exec();
    const quint64 hash = far.waitFor(store.bytes);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    check(result.outcome == comm::TransferResult::Outcome::Done, QStringLiteral("the send ended: %1").arg(result.message));
    check(hash == store.hash, QStringLiteral("the far end got other bytes than the program's"));
    return seconds;
}

// The floor: the same lines read from the same store, one write() each to a pty opened plainly.
double timePlainLoop(const Store &store)
{
    FastFarEnd far;
    QElapsedTimer clock;
    clock.start();
    const int fd = ::open(QFile::encodeName(far.slavePath).constData(), O_WRONLY | O_NOCTTY);
    check(fd >= 0, QStringLiteral("cannot open %1").arg(far.slavePath));
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    tessarc::LineStore lines;
    lines.open(store.path, kRecLen, false);
    QByteArray out;
    lines.forEachRecord(tessarc::LineNumber(1), kLines, [&](tessarc::LineNumber, QByteArrayView text) {
        out.resize(0);
        out.append(text).append("\r\n", 2);
        const char *p = out.constData();
        qsizetype left = out.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
            check(n > 0 || errno == EINTR, QStringLiteral("writing to the pty failed"));
            if (n > 0) {
                p += n;
                left -= n;
            }
        }
    });
    lines.close();
    const quint64 hash = far.waitFor(store.bytes);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    ::close(fd);
    check(hash == store.hash, QStringLiteral("the plain loop's far end got other bytes than the program's"));
    return seconds;
}

void benchSend(const Store &store, int runs)
{
    std::vector<double> transfer, plain;
    for (int run = 0; run < runs; ++run) {
        transfer.push_back(timeTransfer(store));
        plain.push_back(timePlainLoop(store));
    }
    const double t = median(transfer);
    const double f = median(plain);
    const double ratio = t / f;
    say(QStringLiteral("send: %1 lines (%2 MB) over a pty read as fast as it can: median %3 s; floor (a plain loop, "
                       "one write() a line) %4 s; ratio %5 (target <= 3)%6")
            .arg(kLines)
            .arg(static_cast<double>(store.bytes) / 1e6, 0, 'f', 1)
            .arg(t, 0, 'f', 3)
            .arg(f, 0, 'f', 3)
            .arg(ratio, 0, 'f', 2)
            .arg(ratio <= 3.0 ? QString() : QStringLiteral(" MISSED")));
}

// The main window's prompts during a send: any of them means the send went wrong.
class CountingPrompts : public Prompts
{
public:
    int shown = 0;
    void message(QWidget *, const QString &text, const QString &) override { note(text); }
    Answer ask(QWidget *, const QString &text, const QString &, Buttons) override { return note(text), Answer::Cancel; }
    std::optional<QString> input(QWidget *, const QString &prompt, const QString &, const QString &) override
    {
        return note(prompt), std::nullopt;
    }
    QString openFileName(QWidget *, const QString &) override { return note(QStringLiteral("open dialog")), QString(); }
    QString saveFileName(QWidget *, const QString &) override { return note(QStringLiteral("save dialog")), QString(); }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return std::nullopt; }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override { return std::nullopt; }
    bool openDocument(const QString &) override { return false; }
    void warning(QWidget *, const QString &, const QString &text) override { note(text); }
    void beep() override { note(QStringLiteral("beep")); }

private:
    void note(const QString &text)
    {
        std::fprintf(stderr, "vornexa-bench: the application said: %s\n", qPrintable(text));
        ++shown;
    }
};

// The program as a text file, loaded by the main window's editor as File, Open does.
void loadInto(mainform &main, const Store &store, const QString &folder)
{
    const QString text = QDir(folder).filePath(QStringLiteral("send.nc"));
    QFile file(text);
    check(file.open(QIODevice::WriteOnly), QStringLiteral("cannot write %1").arg(text));
    QByteArray block;
    for (qint64 k = 1; k <= kLines; ++k) {
        block += line(k) + "\r\n";
        if (block.size() > (1 << 20) || k == kLines) {
            check(file.write(block) == block.size(), QStringLiteral("cannot write %1").arg(text));
            block.clear();
        }
    }
    file.close();
    TESSARC &editor = *main.TESSARC1;
    editor.recLen = kRecLen;
    main.allocateTempFiles();
    editor.lockup(false);
    check(editor.loadFile(text) && editor.numberOfLines() == kLines, QStringLiteral("the editor did not load the program"));
    check(QFileInfo(text).size() == store.bytes, QStringLiteral("the program file is not the store's program"));
}

// One send pressed through the Send window; the far end has every byte when it returns.
double timeSendWindow(mainform &main, const Store &store, CountingPrompts &prompts)
{
    FastFarEnd far;
    main.settings().setText(QStringLiteral("PORTS"), QStringLiteral("COM1"), far.slavePath);
    main.item(QStringLiteral("send1"))->trigger();
    auto *send = main.findChild<frmSend *>();
    check(send && send->picker->profile(), QStringLiteral("the Send window did not open on the machine"));
    QEventLoop loop;
    QObject::connect(&main.lock(), &tessarc::OperationLock::busyChanged, &loop, [&loop](bool busy) {
        if (!busy)
            loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    send->Go->click();
    check(main.TESSARC1->Run, QStringLiteral("the send did not start"));
    loop.exec();
    const quint64 hash = far.waitFor(store.bytes);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    check(send->Go->text() == QStringLiteral("&Send") && prompts.shown == 0, QStringLiteral("the send did not end well"));
    check(hash == store.hash, QStringLiteral("the far end got other bytes than the program's"));
    send->close();
    QCoreApplication::processEvents();
    return seconds;
}

void benchSendWindow(const Store &store, int runs, const QString &folder)
{
    // The main window keeps its settings, program folder and machines in the scratch folder.
    qputenv("VORNEXA_HOME", QFile::encodeName(QDir(folder).filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir(folder).filePath(QStringLiteral("config"))));
    QDir().mkpath(QDir(folder).filePath(QStringLiteral("home")));
    comm::MachineFolder::standard().write(benchProfile());
    CountingPrompts prompts;
    mainform main(prompts);
    comm::registerWindows(main);
    comm::rememberMachine(main.settings(), benchProfile().name);
    main.resize(640, 480);
    main.show();
    loadInto(main, store, folder);
    std::vector<double> window, plain;
    for (int run = 0; run < runs; ++run) {
        window.push_back(timeSendWindow(main, store, prompts));
        plain.push_back(timePlainLoop(store));
    }
    main.TESSARC1->done();
    const double t = median(window);
    const double f = median(plain);
    const double ratio = t / f;
    say(QStringLiteral("sendwindow: %1 lines through the Send window's button: median %2 s; floor (a plain loop, one "
                       "write() a line) %3 s; ratio %4 (target <= 3)%5")
            .arg(kLines)
            .arg(t, 0, 'f', 3)
            .arg(f, 0, 'f', 3)
            .arg(ratio, 0, 'f', 2)
            .arg(ratio <= 3.0 ? QString() : QStringLiteral(" MISSED")));
}

// A child process that reads the master at `rate` bytes a second, a tenth of that every 100 ms.
pid_t slowFarEnd(int master, int rate)
{
    const pid_t pid = fork();
    check(pid >= 0, QStringLiteral("fork failed"));
    if (pid > 0)
        return pid;
    char buffer[4096];
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        next.tv_nsec += 100000000;
        if (next.tv_nsec >= 1000000000) {
            next.tv_nsec -= 1000000000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        int want = rate / 10;
        while (want > 0) {
            const ssize_t n = ::read(master, buffer, static_cast<size_t>(std::min(want, int(sizeof buffer))));
            if (n <= 0)
                break;
            want -= static_cast<int>(n);
        }
    }
}

double processSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The share of one core the process uses during a window of a send to a far end at 9,600 baud.
double cpuShare(const Store &store)
{
    int master = -1, slave = -1;
    char name[256] = {};
    check(openpty(&master, &slave, name, nullptr, nullptr) == 0, QStringLiteral("openpty failed"));
    ::close(slave);
    const pid_t reader = slowFarEnd(master, kSlowBytesPerSecond);
    comm::PortMap ports;
    ports.setDevice(1, QString::fromLocal8Bit(name));
    comm::SendTransfer transfer(benchProfile(), ports, jobFor(store));
    bool ended = false;
    QObject::connect(&transfer, &comm::SendTransfer::finished, &transfer, [&ended] { ended = true; });
    transfer.start();
    QEventLoop loop;
    // The first seconds fill the pty's buffer; the window starts once the send is paced by the reader.
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuBefore = processSeconds();
    QElapsedTimer wall;
    wall.start();
    const qint64 sentBefore = transfer.sent();
    QTimer::singleShot(kCpuWindowSeconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = processSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const qint64 linesInWindow = transfer.sent() - sentBefore;
    check(!ended && transfer.running(), QStringLiteral("the send ended during the window"));
    check(linesInWindow > 0, QStringLiteral("no line was sent during the window"));
    transfer.cancel();
    kill(reader, SIGKILL);
    waitpid(reader, nullptr, 0);
    ::close(master);
    say(QStringLiteral("  window of %1 s: %2 lines sent, processor %3 s")
            .arg(seconds, 0, 'f', 1)
            .arg(linesInWindow)
            .arg(cpu, 0, 'f', 3));
    return cpu / seconds * 100.0;
}

void benchSendCpu(const Store &store, int runs)
{
    std::vector<double> shares;
    for (int run = 0; run < runs; ++run)
        shares.push_back(cpuShare(store));
    const double m = median(shares);
    say(QStringLiteral("sendcpu: processor use while sending to a far end taking %1 bytes a second: median %2% of one "
                       "core over %3 windows of %4 s (target <= 5%)%5")
            .arg(kSlowBytesPerSecond)
            .arg(m, 0, 'f', 2)
            .arg(runs)
            .arg(kCpuWindowSeconds)
            .arg(m <= 5.0 ? QString() : QStringLiteral(" MISSED")));
}

} // namespace

// Runs the figure `figure` ("send", "sendcpu" or "sendwindow") `runs` times in a scratch folder made in `dir`.
int runCommFigure(const QString &figure, int runs, const QString &dir)
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const Store store = writeStore(QDir(scratch.path()).filePath(QStringLiteral("send.store")));
    say(QStringLiteral("vornexa-bench %1: program of %2 lines, %3 bytes on the wire with CR LF; %4 runs")
            .arg(figure)
            .arg(kLines)
            .arg(store.bytes)
            .arg(runs));
    if (figure == QLatin1String("send"))
        benchSend(store, runs);
    else if (figure == QLatin1String("sendwindow"))
        benchSendWindow(store, runs, scratch.path());
    else
        benchSendCpu(store, std::min(runs, 3));
    return 0;
}
