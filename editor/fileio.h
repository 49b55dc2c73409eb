#pragma once

#include "controlerror.h"

#include <QString>

#include <cerrno>
#include <unistd.h>

namespace tessarc {

// Writes all `size` bytes at `offset`, or throws what stopped it (some of them may be written).
inline void writeAllAt(int fd, const char *data, qint64 size, qint64 offset, const QString &path)
{
    while (size > 0) {
        const ssize_t done = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            throw ControlError::fromErrno(errno, path);
        }
        if (done == 0)
            throw ControlError::fromErrno(ENOSPC, path);
        data += done;
        size -= done;
        offset += done;
    }
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
inline qint64 readUpTo(int fd, char *data, qint64 size, qint64 offset, const QString &path)
{
    qint64 total = 0;
    while (total < size) {
        const ssize_t done = ::pread(fd, data + total, static_cast<size_t>(size - total), offset + total);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            throw ControlError::fromErrno(errno, path);
        }
        if (done == 0)
            break;
        total += done;
    }
    return total;
}

} // namespace tessarc
