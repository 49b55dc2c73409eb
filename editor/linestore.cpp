#include "linestore.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessarc {

namespace {

// Records are gathered up to about this many bytes before they are written.
constexpr qint64 kBlockBytes = 1 << 20;
// Block copies that the kernel cannot do move through a buffer of this size.
constexpr qint64 kCopyBytes = 4 << 20;

void writeAll(int fd, const char *data, qint64 size, qint64 offset, const QString &path)
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

// Reads up to `size` bytes; fewer only at the end of the file.
qint64 readUpTo(int fd, char *data, qint64 size, qint64 offset, const QString &path)
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

} // namespace

LineStore::~LineStore()
{
    try {
        close();
    } catch (const ControlError &) {
        // A destructor cannot report; callers that care close() first.
    }
}

ControlError LineStore::lineTooLong(qint64 lineLength, int recordLength)
{
    return ControlError(ControlError::BadRecordLength,
                        QStringLiteral("Bad record length: a line of %1 characters does not fit a record of %2 bytes "
                                       "(at most %3 characters)")
                            .arg(lineLength)
                            .arg(recordLength)
                            .arg(recordLength - 2));
}

void LineStore::open(const QString &path, int recordLength, bool create)
{
    close();
    if (recordLength < 3)
        throw ControlError(ControlError::BadRecordLength,
                           QStringLiteral("Bad record length: %1 bytes is too short for a record").arg(recordLength));
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0)
        throw ControlError::fromErrno(errno, path);
    m_fd = fd;
    m_recLen = recordLength;
    m_path = path;
}

void LineStore::close()
{
    if (m_fd < 0)
        return;
    try {
        flush();
    } catch (...) {
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throw ControlError::fromErrno(errno, m_path);
}

void LineStore::requireOpen() const
{
    if (m_fd < 0)
        throw ControlError(ControlError::DeviceIoError, QStringLiteral("The line store is not open"));
}

qint64 LineStore::offsetOf(qint64 record) const
{
    if (record < 1)
        throw ControlError(ControlError::BadRecordLength, QStringLiteral("Bad record number %1").arg(record));
    return (record - 1) * m_recLen;
}

qint64 LineStore::recordCount()
{
    requireOpen();
    flush();
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0)
        throw ControlError::fromErrno(errno, m_path);
    return static_cast<qint64>(end) / m_recLen;
}

void LineStore::encodeInto(char *dest, QByteArrayView line) const
{
    const qsizetype n = line.size();
    dest[0] = static_cast<char>(n & 0xff);
    dest[1] = static_cast<char>((n >> 8) & 0xff);
    if (n > 0)
        std::memcpy(dest + 2, line.data(), static_cast<size_t>(n));
    std::memset(dest + 2 + n, 0, static_cast<size_t>(m_recLen - 2 - n));
}

QByteArray LineStore::encodeRecord(QByteArrayView line, int recordLength)
{
    if (line.size() > recordLength - 2 || line.size() > 0xffff)
        throw lineTooLong(line.size(), recordLength);
    QByteArray rec(recordLength, '\0');
    rec[0] = static_cast<char>(line.size() & 0xff);
    rec[1] = static_cast<char>((line.size() >> 8) & 0xff);
    std::memcpy(rec.data() + 2, line.data(), static_cast<size_t>(line.size()));
    return rec;
}

QByteArray LineStore::decode(const char *rec, qint64 record) const
{
    const int n = static_cast<unsigned char>(rec[0]) | (static_cast<unsigned char>(rec[1]) << 8);
    if (n > m_recLen - 2)
        throw ControlError(ControlError::BadRecordLength,
                           QStringLiteral("Bad record length: record %1 of %2 claims %3 characters")
                               .arg(record)
                               .arg(m_path)
                               .arg(n));
    return QByteArray(rec + 2, n);
}

void LineStore::write(qint64 record, QByteArrayView line)
{
    requireOpen();
    if (line.size() > maxLineLength() || line.size() > 0xffff)
        throw lineTooLong(line.size(), m_recLen);
    offsetOf(record);
    if (m_pendingCount > 0 && record != m_pendingFirst + m_pendingCount)
        flush();
    if (m_pendingCount == 0)
        m_pendingFirst = record;
    const qsizetype at = m_pending.size();
    m_pending.resize(at + m_recLen);
    encodeInto(m_pending.data() + at, line);
    ++m_pendingCount;
    if (m_pending.size() >= kBlockBytes)
        flush();
}

void LineStore::flush()
{
    if (m_pendingCount == 0)
        return;
    requireOpen();
    const qint64 offset = offsetOf(m_pendingFirst);
    const QByteArray block = std::move(m_pending);
    m_pending = QByteArray();
    m_pendingCount = 0;
    writeAll(m_fd, block.constData(), block.size(), offset, m_path);
    m_pending = block; // keep the allocation for the next block
    m_pending.resize(0);
}

QByteArray LineStore::read(qint64 record)
{
    QList<QByteArray> one = readRange(record, 1);
    return one.isEmpty() ? QByteArray() : one.front();
}

QList<QByteArray> LineStore::readRange(qint64 first, qint64 count)
{
    requireOpen();
    flush();
    QList<QByteArray> lines;
    if (count <= 0)
        return lines;
    lines.reserve(count);
    const qint64 recordsPerBlock = std::max<qint64>(1, kBlockBytes / m_recLen);
    QByteArray buffer;
    qint64 record = first;
    qint64 left = count;
    while (left > 0) {
        const qint64 chunk = std::min(left, recordsPerBlock);
        buffer.resize(chunk * m_recLen);
        const qint64 got = readUpTo(m_fd, buffer.data(), buffer.size(), offsetOf(record), m_path);
        for (qint64 i = 0; i < chunk; ++i) {
            if ((i + 1) * m_recLen <= got)
                lines.append(decode(buffer.constData() + i * m_recLen, record + i));
            else
                lines.append(QByteArray());
        }
        record += chunk;
        left -= chunk;
    }
    return lines;
}

void LineStore::copyRecords(LineStore &from, qint64 first, qint64 count, LineStore &to, qint64 firstTo)
{
    if (count <= 0)
        return;
    from.requireOpen();
    to.requireOpen();
    if (from.m_recLen != to.m_recLen)
        throw ControlError(ControlError::BadRecordLength,
                           QStringLiteral("Bad record length: stores of %1 and %2 bytes cannot be copied")
                               .arg(from.m_recLen)
                               .arg(to.m_recLen));
    from.flush();
    to.flush();
    loff_t in = from.offsetOf(first);
    loff_t out = to.offsetOf(firstTo);
    qint64 left = count * from.m_recLen;
    bool kernel = true;
    while (left > 0 && kernel) {
        const ssize_t done = ::copy_file_range(from.m_fd, &in, to.m_fd, &out, static_cast<size_t>(left), 0);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF) {
                kernel = false;
                break;
            }
            throw ControlError::fromErrno(errno, to.m_path);
        }
        if (done == 0)
            return; // the source ends here: the records past its end are empty lines anyway
        left -= done;
    }
    QByteArray buffer(static_cast<qsizetype>(std::min(left, kCopyBytes)), Qt::Uninitialized);
    while (left > 0) {
        const qint64 want = std::min<qint64>(left, buffer.size());
        const qint64 got = readUpTo(from.m_fd, buffer.data(), want, in, from.m_path);
        if (got == 0)
            return;
        writeAll(to.m_fd, buffer.constData(), got, out, to.m_path);
        in += got;
        out += got;
        left -= got;
    }
}

} // namespace tessarc
