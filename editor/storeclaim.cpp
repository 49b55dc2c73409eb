#include "storeclaim.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tessarc {

namespace {

// Takes the lock of `lockPath` without waiting: the descriptor, or -1. A lock file that another
// holder deleted between our open and our lock is not the one others see: it is tried again.
int lockFile(const QString &lockPath)
{
    const QByteArray native = QFile::encodeName(lockPath);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return -1;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::lstat(native.constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino && S_ISREG(named.st_mode))
            return fd;
        ::close(fd);
    }
    return -1;
}

} // namespace

QString StoreClaim::lockPathFor(const QString &store)
{
    QString stem = store;
    if (stem.endsWith(QLatin1String(".qen.tmp")))
        stem.chop(8);
    return stem + QStringLiteral(".qen.lock");
}

StoreClaim::~StoreClaim()
{
    release();
}

StoreClaim::StoreClaim(StoreClaim &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_store(std::move(other.m_store))
{
}

StoreClaim &StoreClaim::operator=(StoreClaim &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_store = std::move(other.m_store);
    }
    return *this;
}

StoreClaim StoreClaim::claim(const QString &store)
{
    StoreClaim c;
    c.m_fd = lockFile(lockPathFor(store));
    if (c.m_fd >= 0)
        c.m_store = store;
    return c;
}

StoreClaim StoreClaim::claimFree(const QString &folder)
{
    const QDir dir(folder);
    // A stem whose lock is free but whose store exists belongs to an instance that is gone: it is
    // left for the start that clears or offers it.
    for (int n = 0; n < 100000; ++n) {
        const QString store = dir.filePath(QStringLiteral("%1.qen.tmp").arg(n));
        QFileInfo info(store);
        if (info.exists() || info.isSymLink())
            continue;
        StoreClaim c = claim(store);
        if (!c.held()) {
            if (!QFileInfo(folder).isWritable())
                return {};
            continue;
        }
        info.refresh();
        if (!info.exists() && !info.isSymLink())
            return c;
    }
    return {};
}

QString StoreClaim::scratch() const
{
    if (m_store.isEmpty())
        return QString();
    return m_store.chopped(8) + QStringLiteral(".2.qen.tmp");
}

void StoreClaim::release()
{
    if (m_fd < 0)
        return;
    // Deleted while still locked: whoever opened it meanwhile sees that it is no longer the file
    // the name stands for, and opens the name again.
    ::unlink(QFile::encodeName(lockPathFor(m_store)).constData());
    ::close(m_fd);
    m_fd = -1;
    m_store.clear();
}

} // namespace tessarc
