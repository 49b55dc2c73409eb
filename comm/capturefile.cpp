#include "capturefile.h"

#include "programfolder.h"

#include <QDir>
#include <QFile>
#include "safefile.h"

namespace comm {

QString capturePath()
{
    return QDir(tessarc::programFolder()).filePath(QStringLiteral("tempdownload.txt"));
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
