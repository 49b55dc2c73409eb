#include "safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessarc {

namespace {

QString systemWords(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of `size` bytes to `fd`; false with errno set when any is refused.
bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

SafeFile::SafeFile(const QString &target, QObject *parent) : QIODevice(parent), m_target(target) {}

SafeFile::~SafeFile()
{
    removeTemporary();
}

bool SafeFile::fail(int error)
{
    m_failed = true;
    m_diskFull = error == ENOSPC || error == EFBIG || error == EDQUOT;
    setErrorString(systemWords(error));
    return false;
}

void SafeFile::removeTemporary()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
}

bool SafeFile::open(OpenMode mode)
{
    if ((mode & ReadOnly) || !(mode & WriteOnly)) {
        setErrorString(QStringLiteral("A safe file is written only."));
        return false;
    }
    m_failed = m_cancelled = m_diskFull = false;
    const QFileInfo info(m_target);
    QString real = info.absoluteFilePath();
    if (info.isSymLink()) {
        real = info.canonicalFilePath();
        if (real.isEmpty())
            return fail(ENOENT);
    }
    m_real = QFile::encodeName(real);
    struct stat st {};
    m_existed = ::stat(m_real.constData(), &st) == 0;
    if (!m_existed && errno != ENOENT)
        return fail(errno);
    if (m_existed) {
        if (!S_ISREG(st.st_mode)) {
            m_failed = true;
            setErrorString(QStringLiteral("it is not a regular file (it is a folder, a device or a pipe), and is "
                                          "never replaced"));
            return false;
        }
        if ((st.st_mode & 0222) == 0) {
            m_failed = true;
            setErrorString(QStringLiteral("it is read-only"));
            return false;
        }
        if (::access(m_real.constData(), W_OK) != 0)
            return fail(errno);
        m_hardLinked = st.st_nlink > 1;
    }
    const QFileInfo realInfo(real);
    QByteArray pattern = QFile::encodeName(realInfo.absolutePath() + QStringLiteral("/.") + realInfo.fileName()) +
                         ".XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno);
    m_temporary = pattern;
    if (m_existed) {
        // As far as the user may: an owner or group that cannot be given is left as it comes.
        if (::fchown(m_fd, st.st_uid, st.st_gid) != 0 && ::fchown(m_fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
        }
        ::fchmod(m_fd, st.st_mode & 07777);
    } else {
        ::fchmod(m_fd, creationMode());
    }
    return QIODevice::open(mode | Unbuffered);
}

qint64 SafeFile::readData(char *, qint64)
{
    return -1;
}

qint64 SafeFile::writeData(const char *data, qint64 size)
{
    if (m_fd < 0 || m_failed)
        return -1;
    if (!writeAll(m_fd, data, size)) {
        fail(errno);
        removeTemporary(); // nothing can come of it now
        return -1;
    }
    return size;
}

std::optional<QString> SafeFile::writeWhole(const QString &path, QByteArrayView bytes)
{
    SafeFile file(path);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; written && done < bytes.size();) {
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        written = n > 0;
        done += n;
    }
    if (!written || !file.commit())
        return file.errorString();
    return std::nullopt;
}

bool SafeFile::commit()
{
    QIODevice::close();
    if (m_fd < 0 || m_failed || m_cancelled) {
        removeTemporary();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        removeTemporary();
        return fail(error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        removeTemporary();
        return fail(error);
    }
    if (m_hardLinked) {
        // Every name of the file keeps it: the whole copy is written over it in place.
        const int in = ::open(m_temporary.constData(), O_RDONLY | O_CLOEXEC);
        const int out = in < 0 ? -1 : ::open(m_real.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        bool ok = out >= 0;
        char block[1 << 16];
        while (ok) {
            const ssize_t n = ::read(in, block, sizeof block);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            ok = writeAll(out, block, n);
        }
        ok = ok && ::fsync(out) == 0;
        const int error = errno;
        if (out >= 0)
            ::close(out);
        if (in >= 0)
            ::close(in);
        removeTemporary();
        return ok || fail(error);
    }
    if (::rename(m_temporary.constData(), m_real.constData()) != 0) {
        const int error = errno;
        removeTemporary();
        return fail(error);
    }
    m_temporary.clear();
    return true;
}

void SafeFile::cancelWriting()
{
    m_cancelled = true;
    removeTemporary();
}

} // namespace tessarc
