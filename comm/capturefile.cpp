#include "capturefile.h"

#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include "safefile.h"

namespace comm {

QString capturePath()
{
    return QDir(tessarc::programFolder()).filePath(QStringLiteral("tempdownload.txt"));
}

CaptureClaim::~CaptureClaim()
{
    release();
}

void CaptureClaim::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CaptureClaim::claim(const QString &base)
{
    release();
    const QFileInfo info(base);
    for (int n = 1; n <= 99; ++n) {
        const QString path = n == 1 ? base
                                    : info.dir().filePath(info.completeBaseName() + QStringLiteral("-%1.").arg(n) +
                                                          info.suffix());
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int error = errno;
            throw ControlError(ControlError::PathFileAccessError,
                               QStringLiteral("The capture %1 cannot be made: %2.")
                                   .arg(path, error == ELOOP ? QStringLiteral("a link stands in its place, and a "
                                                                              "capture never writes through one")
                                                             : QString::fromLocal8Bit(std::strerror(error))));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd); // another capture holds it
            continue;
        }
        if (::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            throw ControlError(ControlError::PathFileAccessError, QStringLiteral("The capture %1 cannot be made: %2.")
                                                                      .arg(path, QString::fromLocal8Bit(std::strerror(error))));
        }
        m_fd = fd;
        m_path = path;
        return;
    }
    throw ControlError(ControlError::PathFileAccessError,
                       QStringLiteral("The capture %1 cannot be made: 99 other captures are running.").arg(base));
}

void saveCaptureAs(const QString &capture, const QString &target)
{
    QFile from(capture);
    if (!from.open(QIODevice::ReadOnly))
        throw ControlError(ControlError::FileNotFound,
                           QStringLiteral("The capture %1 cannot be read: %2.").arg(capture, from.errorString()));
    tessarc::SafeFile to(target);
    if (!to.open(QIODevice::WriteOnly))
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("%1 cannot be written: %2.").arg(target, to.errorString()));
    QByteArray block;
    while (!(block = from.read(1 << 20)).isEmpty()) {
        if (to.write(block) != block.size())
            throw ControlError(to.diskFull() ? ControlError::DiskFull : ControlError::DeviceIoError,
                               QStringLiteral("%1 cannot be written: %2.").arg(target, to.errorString()));
    }
    if (from.error() != QFileDevice::NoError)
        throw ControlError(ControlError::DeviceIoError,
                           QStringLiteral("The capture %1 cannot be read: %2.").arg(capture, from.errorString()));
    if (!to.commit())
        throw ControlError(to.diskFull() ? ControlError::DiskFull : ControlError::DeviceIoError,
                           QStringLiteral("%1 cannot be written: %2.").arg(target, to.errorString()));
}

} // namespace comm
