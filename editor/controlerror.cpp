#include "controlerror.h"

#include <new>

#include <cerrno>
#include <cstring>

namespace tessarc {

ControlError::ControlError(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toLocal8Bit())
{
}

ControlError &ControlError::at(const QString &routine, int step)
{
    if (m_routine.isEmpty()) {
        m_routine = routine;
        m_step = step;
    }
    return *this;
}

ControlError ControlError::fromErrno(int err, const QString &path)
{
    const QString where = path.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(path);
    switch (err) {
    case ENOENT:
        return ControlError(FileNotFound, QStringLiteral("File not found") + where);
    case ENOSPC:
    case EDQUOT:
        return ControlError(DiskFull, QStringLiteral("Disk full") + where);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ControlError(PathFileAccessError, QStringLiteral("Path/File access error") + where);
    default:
        return ControlError(DeviceIoError,
                            QStringLiteral("Device I/O error: %1").arg(QString::fromLocal8Bit(strerror(err)))
                                + where);
    }
}

std::optional<QString> failureOf(const std::function<void()> &work)
{
    try {
        work();
    } catch (const ControlError &error) {
        return error.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    }
    return std::nullopt;
}

} // namespace tessarc
