#include "dncserver.h"

#include "safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <set>

namespace comm {

namespace {

constexpr int kStatusMs = 250;

QString dncFolder(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("dnc"));
}

} // namespace

QString dncStatusPath(const QString &programFolder)
{
    return QDir(dncFolder(programFolder)).filePath(QStringLiteral("status"));
}

QByteArray encodeDncStatus(const DncStatus &status)
{
    QByteArray out = "pid=" + QByteArray::number(status.pid) + '\n';
    out += "started=" + status.started.toString(Qt::ISODate).toLatin1() + '\n';
    for (const auto &[name, state] : status.machines)
        out += "machine=" + name.toUtf8() + '\t' + state.toUtf8() + '\n';
    return out;
}

std::optional<DncStatus> decodeDncStatus(QByteArrayView bytes)
{
    DncStatus status;
    for (const QByteArray &line : bytes.toByteArray().split('\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            return std::nullopt;
        const QByteArray key = line.first(equals);
        const QByteArray value = line.sliced(equals + 1);
        if (key == "pid") {
            bool ok = false;
            status.pid = value.toLongLong(&ok);
            if (!ok || status.pid <= 0)
                return std::nullopt;
        } else if (key == "started") {
            status.started = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        } else if (key == "machine") {
            const qsizetype tab = value.indexOf('\t');
            if (tab < 0)
                return std::nullopt;
            status.machines.append({QString::fromUtf8(value.first(tab)), QString::fromUtf8(value.sliced(tab + 1))});
        } else {
            return std::nullopt;
        }
    }
    if (status.pid == 0)
        return std::nullopt;
    return status;
}

DncServer::DncServer(std::vector<DncMachine> machines, const PortMap &ports, QString programFolder, QObject *parent)
    : QObject(parent), m_folder(std::move(programFolder))
{
    m_statusSoon.setSingleShot(true);
    m_statusSoon.setInterval(kStatusMs);
    connect(&m_statusSoon, &QTimer::timeout, this, &DncServer::writeStatus);
    std::set<QString> devices;
    int index = 0;
    for (DncMachine &machine : machines) {
        const QString device = ports.device(machine.profile.comPort);
        if (!devices.insert(device).second) {
            m_refused << QStringLiteral("%1 is not served: COM%2 (%3) is served for another machine")
                             .arg(machine.profile.name)
                             .arg(machine.profile.comPort)
                             .arg(device);
            continue;
        }
        const DncFolders folders = dncFolders(m_folder, machine.profile.name, machine.setup);
        const QString stem = QStringLiteral("dnc%1-%2").arg(QCoreApplication::applicationPid()).arg(++index);
        auto station = std::make_unique<DncStation>(machine.profile, machine.setup, ports, folders, stem);
        connect(station.get(), &DncStation::logged, this, &DncServer::logged);
        connect(station.get(), &DncStation::stateChanged, this, [this] {
            if (!m_statusSoon.isActive())
                m_statusSoon.start();
        });
        connect(station.get(), &DncStation::stopped, this, [this] {
            for (const auto &s : m_stations) {
                if (!s->isStopped())
                    return;
            }
            writeStatus();
            QFile::remove(dncStatusPath(m_folder));
            emit stopped();
        });
        m_stations.push_back(std::move(station));
    }
}

DncServer::~DncServer()
{
    m_stations.clear();
    if (m_lock >= 0)
        ::close(m_lock);
}

void DncServer::setLoading(int recordLength, bool lfEndsLine)
{
    for (const auto &station : m_stations)
        station->setLoading(recordLength, lfEndsLine);
}

void DncServer::serverLog(const QString &text)
{
    emit logged(QStringLiteral("%1 %2").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), text));
}

bool DncServer::start(QString &why)
{
    // One server to a program folder: its status file and its machines' folders are its own.
    const QString folder = dncFolder(m_folder);
    QDir().mkpath(folder);
    const QString lockPath = QDir(folder).filePath(QStringLiteral("server.lock"));
    m_lock = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_lock < 0) {
        why = QStringLiteral("%1 cannot be made: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        QFile status(dncStatusPath(m_folder));
        std::optional<DncStatus> running;
        if (status.open(QIODevice::ReadOnly))
            running = decodeDncStatus(status.readAll());
        why = running ? QStringLiteral("a DNC server (process %1) serves %2 already").arg(running->pid).arg(m_folder)
                      : QStringLiteral("a DNC server serves %1 already").arg(m_folder);
        ::close(m_lock);
        m_lock = -1;
        return false;
    }
    m_started = QDateTime::currentDateTime();
    serverLog(QStringLiteral("DNC server started, process %1, serving %2 machine(s) from %3")
                  .arg(QCoreApplication::applicationPid())
                  .arg(m_stations.size())
                  .arg(m_folder));
    for (const QString &line : m_refused)
        serverLog(line);
    for (const auto &station : m_stations)
        station->start();
    writeStatus();
    if (m_stations.empty()) {
        QFile::remove(dncStatusPath(m_folder));
        QMetaObject::invokeMethod(this, &DncServer::stopped, Qt::QueuedConnection);
    }
    return true;
}

void DncServer::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    for (const auto &station : m_stations)
        station->stop();
}

void DncServer::writeStatus()
{
    DncStatus status;
    status.pid = QCoreApplication::applicationPid();
    status.started = m_started;
    for (const auto &station : m_stations)
        status.machines.append({station->name(), station->state()});
    tessarc::SafeFile::writeWhole(dncStatusPath(m_folder), encodeDncStatus(status));
}

} // namespace comm
