#include "instancelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString &programFolder)
    : m_folder(QDir(programFolder).filePath(QStringLiteral("instances")))
{
    QDir().mkpath(m_folder);
    m_ownPath = QDir(m_folder).filePath(QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".lock"));
    m_fd = ::open(QFile::encodeName(m_ownPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0) {
        QFile::remove(m_ownPath);
        ::close(m_fd);
    }
}

bool InstanceLock::otherInstanceRunning() const
{
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.lock")}, QDir::Files);
    bool running = false;
    for (const QString &name : names) {
        const QString path = QDir(m_folder).filePath(name);
        if (path == m_ownPath)
            continue;
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                running = true;
        } else {
            // Nobody holds it: what is left of an instance that ended without tidying up.
            QFile::remove(path);
            ::flock(fd, LOCK_UN);
        }
        ::close(fd);
    }
    return running;
}

bool InstanceLock::isRunning(qint64 pid) const
{
    if (pid == QCoreApplication::applicationPid())
        return true;
    const QString path = QDir(m_folder).filePath(QString::number(pid) + QStringLiteral(".lock"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false; // it ended and its lock file went with it
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!held)
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return held;
}
