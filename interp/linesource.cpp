#include "linesource.h"

#include "controlerror.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace interp {

namespace {
constexpr qint64 kBlockBytes = 256 * 1024;
}

TextLines::TextLines(const QByteArray &text)
{
    m_lines = text.split('\n');
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    for (QByteArray &line : m_lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
}

StoreLines::StoreLines(const QString &store, int recordLength, qint64 lines)
    : m_path(store), m_recLen(recordLength), m_lines(lines)
{
    m_fd = ::open(QFile::encodeName(store).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw tessarc::ControlError::fromErrno(errno, store);
    m_buffer.resize(static_cast<std::size_t>(std::max<qint64>(recordLength, kBlockBytes / recordLength * recordLength)));
}

StoreLines::~StoreLines()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void StoreLines::readBlock(qint64 first)
{
    const qint64 want = std::min<qint64>(static_cast<qint64>(m_buffer.size()) / m_recLen, m_lines - first + 1);
    qint64 got = 0;
    const qint64 bytes = want * m_recLen;
    while (got < bytes) {
        const ssize_t n = ::pread(m_fd, m_buffer.data() + got, static_cast<std::size_t>(bytes - got),
                                  static_cast<off_t>((first - 1) * m_recLen + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw tessarc::ControlError::fromErrno(errno, m_path);
        if (n == 0)
            break;
        got += n;
    }
    // Records past the end of the file read as empty lines.
    std::memset(m_buffer.data() + got, 0, static_cast<std::size_t>(bytes - got));
    m_first = first;
    m_count = want;
}

QByteArrayView StoreLines::line(qint64 number)
{
    if (m_first == 0 || number < m_first || number >= m_first + m_count)
        readBlock(number);
    const char *record = m_buffer.data() + (number - m_first) * m_recLen;
    const int n = static_cast<unsigned char>(record[0]) | (static_cast<unsigned char>(record[1]) << 8);
    if (n > m_recLen - 2)
        throw tessarc::ControlError(tessarc::ControlError::BadRecordLength,
                                    QStringLiteral("Bad record length: line %1 of the line store says it holds %2 bytes").arg(number).arg(n));
    return QByteArrayView(record + 2, n);
}

} // namespace interp
