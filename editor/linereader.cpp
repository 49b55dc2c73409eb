#include "linereader.h"

#include "controlerror.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tessarc {

namespace {
constexpr qsizetype kReadBlock = 1 << 20;
}

LineReader::LineReader(const QString &path, bool lfEndsLine, qsizetype keepAtMost)
    : m_path(path), m_lfEndsLine(lfEndsLine), m_keep(keepAtMost), m_buffer(kReadBlock, Qt::Uninitialized)
{
    const QByteArray native = QFile::encodeName(path);
    m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw ControlError::fromErrno(errno, path);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

LineReader::~LineReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    for (;;) {
        const ssize_t got = ::read(m_fd, m_buffer.data(), static_cast<size_t>(m_buffer.size()));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw ControlError::fromErrno(errno, m_path);
        }
        m_pos = 0;
        m_end = got;
        m_bytesRead += got;
        if (got == 0) {
            m_eof = true;
            return false;
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buffer.at(0) == '\n')
                m_pos = 1;
        }
        return true;
    }
}

bool LineReader::next(QByteArrayView &line, qint64 &fullLength)
{
    m_carry.clear();
    qint64 length = 0;
    bool any = false; // something of this line (text or its end) was seen
    for (;;) {
        if (m_pos >= m_end && !fill()) {
            if (!any)
                return false;
            line = QByteArrayView(m_carry);
            fullLength = length;
            return true;
        }
        any = true;
        const char *data = m_buffer.constData();
        qsizetype i = m_pos;
        if (m_lfEndsLine) {
            while (i < m_end && data[i] != '\r' && data[i] != '\n')
                ++i;
        } else {
            while (i < m_end && data[i] != '\r')
                ++i;
        }
        const qsizetype piece = i - m_pos;
        const bool ended = i < m_end;
        // A line that lies whole inside the block is handed out without a copy.
        if (ended && length == 0 && m_carry.isEmpty() && piece <= m_keep) {
            line = QByteArrayView(data + m_pos, piece);
            fullLength = piece;
        } else {
            const qsizetype room = m_keep - m_carry.size();
            if (room > 0)
                m_carry.append(data + m_pos, std::min(room, piece));
            length += piece;
            if (ended) {
                line = QByteArrayView(m_carry);
                fullLength = length;
            }
        }
        if (!ended) {
            m_pos = m_end;
            continue;
        }
        // Step over the line end: CR LF, CR, or LF.
        m_pos = i + 1;
        if (data[i] == '\r') {
            if (m_pos < m_end) {
                if (data[m_pos] == '\n')
                    ++m_pos;
            } else {
                m_skipLf = true;
            }
        }
        return true;
    }
}

qint64 LineReader::countLines(const QString &path, bool lfEndsLine)
{
    LineReader reader(path, lfEndsLine, 0);
    QByteArrayView line;
    qint64 full = 0;
    qint64 count = 0;
    while (reader.next(line, full))
        ++count;
    return count;
}

} // namespace tessarc
