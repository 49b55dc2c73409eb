#include "storeblocks.h"

#include "controlerror.h"
#include "program.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tessarc {

namespace {

// The block read at once: a quarter of a megabyte, which the processor's cache holds.
constexpr qint64 kBlockBytes = 256 * 1024;

} // namespace

StoreBlocks::StoreBlocks(const Program &program, LineNumber first, qint64 count)
    : m_path(program.store), m_recLen(program.recordLength), m_next(first), m_left(std::max<qint64>(0, count))
{
    const int recordLength = m_recLen;
    const QString &path = m_path;
    if (recordLength < 3 || first.value < 1)
        throw ControlError(ControlError::BadRecordLength,
                           QStringLiteral("Bad record length: record %1 of %2 bytes").arg(first.value).arg(recordLength));
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw ControlError::fromErrno(errno, path);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    const qint64 perBlock = std::max<qint64>(1, kBlockBytes / recordLength);
    m_buffer.resize(static_cast<std::size_t>(std::min(m_left, perBlock) * recordLength));
}

StoreBlocks::~StoreBlocks()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool StoreBlocks::next()
{
    if (m_left == 0)
        return false;
    m_blockFirst = m_next;
    m_blockLines = std::min<qint64>(m_left, static_cast<qint64>(m_buffer.size()) / m_recLen);
    const qint64 size = m_blockLines * m_recLen;
    const qint64 offset = (m_blockFirst.value - 1) * m_recLen;
    // Fewer bytes only at the end of the file.
    m_got = 0;
    while (m_got < size) {
        const ssize_t done = ::pread(m_fd, m_buffer.data() + m_got, static_cast<size_t>(size - m_got), offset + m_got);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            throw ControlError::fromErrno(errno, m_path);
        if (done == 0)
            break;
        m_got += done;
    }
    m_next = m_next + m_blockLines;
    m_left -= m_blockLines;
    return true;
}

void StoreBlocks::badRecord(qint64 i, int n) const
{
    throw ControlError(ControlError::BadRecordLength, QStringLiteral("Bad record length: record %1 of %2 claims %3 characters")
                                                          .arg((m_blockFirst + i).value)
                                                          .arg(m_path)
                                                          .arg(n));
}

} // namespace tessarc
