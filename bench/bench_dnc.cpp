// The DNC server's figure of vornexa-bench, run with --only dnc:
//
//   dnc  `vornexa --dnc` serving 16 machines on ptys at once: each machine requests a program of
//        1 MB of its own, reads it at 115,200 baud (11,520 bytes a second), then sends a program of
//        1 MB back at the same rate. Every byte each machine gets is checked against its program
//        in the machine's framing, and every program sent back must be filed whole under its
//        number. The figure is the server's processor time over the run as a share of one core
//        (target under 10%) and its resident memory, sampled every second (flat: the highest
//        sample after the first minute within a few MB of the first).
//
// The server is the real form, a child process, so only its own work is counted; the machines
// are threads of the bench.

#include "benchtools.h"
#include "machinefolder.h"
#include "machineprofile.h"
#include "machinesetup.h"
#include "portmap.h"
#include "sendframing.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

using benchtools::check;
using benchtools::say;

namespace {

constexpr int kMachines = 16;
constexpr qint64 kProgramBytes = qint64(1) << 20;
constexpr int kBytesPerSecond = 11520; // 115,200 baud, 10 bits a character
constexpr int kTickMs = 10;

// A program of about `bytes` bytes, its lines following from `seed`.
QByteArray program(int seed, const QByteArray &header)
{
    QByteArray text = header;
    for (qint64 k = 1; text.size() < kProgramBytes; ++k)
        text += "N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number((k * 7919 + seed) % 30000) + ".5 Y" +
                QByteArray::number((k * 104729 + seed) % 30000) + " F" + QByteArray::number(300 + seed) + "\r\n";
    return text + "M30\r\n";
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line.chop(1);
    return lines;
}

comm::MachineProfile profileOf(int k)
{
    comm::MachineProfile p = comm::newProfile(QStringLiteral("M%1").arg(k, 2, 10, QLatin1Char('0')));
    p.comPort = quint8(k);
    p.handshake = 1;
    p.eob = "\r\n";
    p.bof = "%";
    p.bofeob = 1;
    p.eof = "%";
    p.eofeob = 1;
    return p;
}

// One machine at the far end of its pty: requests its program, reads it at the line's rate,
// then sends its own back at the same rate.
class Machine
{
public:
    Machine(int k, QByteArray expected, QByteArray back) : m_k(k), m_expected(std::move(expected)), m_back(std::move(back))
    {
        slavePath = benchtools::openFarEnd(m_master);
    }
    ~Machine()
    {
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_master);
    }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    bool done() const { return m_done.load(); }
    QString failure() const { return m_failure; }

    QString slavePath;

private:
    void run()
    {
        writeAll("(REQ O" + QByteArray::number(1000 + m_k) + ")\r\n");
        QByteArray got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(600);
        auto next = std::chrono::steady_clock::now();
        const int perTick = kBytesPerSecond * kTickMs / 1000;
        char buffer[4096];
        while (got.size() < m_expected.size() && std::chrono::steady_clock::now() < deadline) {
            next += std::chrono::milliseconds(kTickMs);
            std::this_thread::sleep_until(next);
            const ssize_t n = ::read(m_master, buffer, std::min<qsizetype>(perTick, m_expected.size() - got.size()));
            if (n > 0)
                got.append(buffer, n);
        }
        if (got != m_expected) {
            m_failure = QStringLiteral("M%1 got %2 bytes, %3 expected, %4").arg(m_k).arg(got.size()).arg(m_expected.size())
                            .arg(got.size() == m_expected.size() ? QStringLiteral("not the same") : QStringLiteral("short"));
            m_done = true;
            return;
        }
        next = std::chrono::steady_clock::now();
        for (qsizetype at = 0; at < m_back.size(); at += perTick) {
            next += std::chrono::milliseconds(kTickMs);
            std::this_thread::sleep_until(next);
            writeAll(QByteArrayView(m_back).sliced(at, std::min<qsizetype>(perTick, m_back.size() - at)));
        }
        m_done = true;
    }
    void writeAll(QByteArrayView bytes)
    {
        qsizetype at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + at, size_t(bytes.size() - at));
            if (n > 0) {
                at += n;
                continue;
            }
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }

    int m_k;
    int m_master = -1;
    QByteArray m_expected;
    QByteArray m_back;
    QString m_failure;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

struct Sample
{
    double cpu = 0.0; // seconds
    qint64 resident = 0; // bytes
};

Sample sampleOf(qint64 pid)
{
    Sample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13)
            s.cpu = double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.resident = line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
        }
    }
    return s;
}

QString mb(qint64 bytes)
{
    return QString::number(double(bytes) / double(1 << 20), 'f', 1) + QStringLiteral(" MB");
}

} // namespace

QStringList dncFigures()
{
    return {QStringLiteral("dnc")};
}

int runDncFigure(const QString &dir)
{
    const QString base = dir.isEmpty() ? QStringLiteral("/tmp") : dir;
    QTemporaryDir scratch(QDir(base).filePath(QStringLiteral("vornexa-bench-XXXXXX")));
    check(scratch.isValid(), QStringLiteral("cannot create a scratch folder in %1").arg(base));
    const QString home = scratch.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("VORNEXA_HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));

    std::vector<std::unique_ptr<Machine>> machines;
    comm::PortMap ports;
    const comm::MachineFolder folder = comm::MachineFolder::standard();
    std::vector<QByteArray> backs;
    for (int k = 1; k <= kMachines; ++k) {
        const comm::MachineProfile profile = profileOf(k);
        folder.write(profile);
        interp::MachineSetup setup;
        setup.dnc.enabled = true;
        setup.dnc.requestDelay = 0.5;
        folder.writeSetup(profile.name, setup);
        const QByteArray text = program(k, "O" + QByteArray::number(1000 + k) + "\r\n");
        const QString programs = QDir(home).filePath(QStringLiteral("dnc/") + profile.name);
        QDir().mkpath(programs);
        QFile file(QDir(programs).filePath(QStringLiteral("O%1.nc").arg(1000 + k)));
        check(file.open(QIODevice::WriteOnly) && file.write(text) == text.size(), QStringLiteral("cannot write a program"));
        file.close();
        const QByteArray back = "%\r\n" + program(k + 100, "O" + QByteArray::number(5000 + k) + " (BACK)\r\n") + "%\r\n";
        backs.push_back(back);
        machines.push_back(std::make_unique<Machine>(k, comm::wholeSend(profile, {}, linesOf(text)), back));
        ports.setDevice(k, machines.back()->slavePath);
    }
    {
        SettingsStore settings(QStringLiteral("VORNEXA"));
        ports.write(settings);
    }

    QProcess server;
    server.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/vornexa"));
    server.setArguments({QStringLiteral("--dnc")});
    server.setStandardOutputFile(scratch.filePath(QStringLiteral("dnc.log")));
    server.setStandardErrorFile(scratch.filePath(QStringLiteral("dnc.err")));
    server.start();
    check(server.waitForStarted(), QStringLiteral("vornexa --dnc did not start"));
    const qint64 pid = server.processId();
    // Every port open before the machines begin.
    const QString status = QDir(home).filePath(QStringLiteral("dnc/status"));
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 20000) {
        QFile f(status);
        if (f.open(QIODevice::ReadOnly) && f.readAll().count("\tidle") == kMachines)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    check(wait.elapsed() < 20000, QStringLiteral("the server did not open its 16 ports"));

    say(QStringLiteral("dnc: %1 machines, each requesting a %2 program and sending one back at 115,200 baud")
            .arg(kMachines)
            .arg(mb(kProgramBytes)));
    const Sample first = sampleOf(pid);
    QElapsedTimer clock;
    clock.start();
    for (auto &m : machines)
        m->start();
    std::vector<qint64> resident;
    const auto filed = [&] {
        int count = 0;
        for (int k = 1; k <= kMachines; ++k) {
            QFile f(QDir(home).filePath(QStringLiteral("dnc/M%1/received/O%2.nc").arg(k, 2, 10, QLatin1Char('0')).arg(5000 + k)));
            if (f.open(QIODevice::ReadOnly) && f.readAll() == backs[std::size_t(k - 1)])
                ++count;
        }
        return count;
    };
    int filedCount = 0;
    while (clock.elapsed() < 900000) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        resident.push_back(sampleOf(pid).resident);
        const bool all = std::all_of(machines.begin(), machines.end(), [](const auto &m) { return m->done(); });
        if (all && (filedCount = filed()) == kMachines)
            break;
        if (all && clock.elapsed() > 600000)
            break;
    }
    const Sample last = sampleOf(pid);
    const double wall = double(clock.elapsed()) / 1000.0;
    ::kill(pid_t(pid), SIGTERM);
    server.waitForFinished(20000);
    for (auto &m : machines)
        check(m->failure().isEmpty(), m->failure());
    check(filedCount == kMachines, QStringLiteral("%1 of %2 programs sent back were filed whole").arg(filedCount).arg(kMachines));

    const double share = (last.cpu - first.cpu) / wall * 100.0;
    const qint64 settled = resident.size() > 60 ? resident[59] : resident.front();
    const qint64 highest = *std::max_element(resident.begin() + std::min<qsizetype>(60, qsizetype(resident.size()) - 1), resident.end());
    say(QStringLiteral("dnc: every byte right both ways, %1 programs filed, in %2 s")
            .arg(filedCount)
            .arg(wall, 0, 'f', 1));
    say(QStringLiteral("dnc: the server's processor time %1 s over %2 s: %3% of one core (target < 10%)%4")
            .arg(last.cpu - first.cpu, 0, 'f', 2)
            .arg(wall, 0, 'f', 1)
            .arg(share, 0, 'f', 2)
            .arg(share < 10.0 ? QString() : QStringLiteral(" MISSED")));
    say(QStringLiteral("dnc: resident memory at the start %1, after a minute %2, highest after it %3, at the end %4")
            .arg(mb(first.resident), mb(settled), mb(highest), mb(last.resident)));
    return 0;
}
