#include "faults.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool canCreateIn(const QString &folder)
{
    const QString probe = QDir(folder).filePath(QStringLiteral(".write-probe"));
    const int fd = ::open(QFile::encodeName(probe).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(QFile::encodeName(probe).constData());
    return true;
}

bool setImmutable(const QString &folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

rlimit g_savedLimit;

} // namespace

LockedFolder::LockedFolder(const QString &path) : m_path(path)
{
    ::chmod(QFile::encodeName(path).constData(), 0555);
    if (canCreateIn(path))
        m_immutable = setImmutable(path, true);
    m_ok = !canCreateIn(path);
}

LockedFolder::~LockedFolder()
{
    if (m_immutable)
        setImmutable(m_path, false);
    ::chmod(QFile::encodeName(m_path).constData(), 0755);
}

FullDisk::FullDisk(qint64 bytes)
{
    const QString size = QStringLiteral("size=%1").arg(std::max<qint64>(4096, bytes));
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                        size.toLatin1().constData()) == 0;
}

void FullDisk::fill()
{
    if (m_mounted) {
        QFile filler(path(QStringLiteral(".filler")));
        if (filler.open(QIODevice::WriteOnly)) {
            const QByteArray block(4096, '.');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        return;
    }
    // A write past the limit then fails with "file too large" instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &g_savedLimit);
    rlimit limit = g_savedLimit;
    limit.rlim_cur = 0;
    m_limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    if (m_limited)
        ::setrlimit(RLIMIT_FSIZE, &g_savedLimit);
}

QString FullDisk::path(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    // A write past the limit then fails with "file too large" instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_oldCurrent = static_cast<qint64>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_oldCurrent);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}
