#include "linereader.h"

#include "controlerror.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessarc {

namespace {
constexpr qsizetype kReadBlock = 1 << 20;
}

// The first line end in data[from, end), or `end`: a CR, or a LF when a lone LF ends a line. The
// search runs through memchr, so a block is scanned at memory speed.
qsizetype LineReader::findLineEnd(const char *data, qsizetype from, qsizetype end) const
{
    const auto *start = data + from;
    const auto length = static_cast<size_t>(end - from);
    if (!m_lfEndsLine) {
        const void *cr = std::memchr(start, '\r', length);
        return cr ? static_cast<const char *>(cr) - data : end;
    }
    // A LF is the common end; a CR can only come before it.
    const void *lf = std::memchr(start, '\n', length);
    const qsizetype lfAt = lf ? static_cast<const char *>(lf) - data : end;
    const void *cr = std::memchr(start, '\r', static_cast<size_t>(lfAt - from));
    return cr ? static_cast<const char *>(cr) - data : lfAt;
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
        const qsizetype i = findLineEnd(data, m_pos, m_end);
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

QByteArray LineEnds::uniform() const
{
    const int kinds = (crlf > 0) + (cr > 0) + (lf > 0);
    if (kinds != 1)
        return QByteArray();
    return crlf > 0 ? QByteArray("\r\n") : cr > 0 ? QByteArray("\r") : QByteArray("\n");
}

qint64 LineReader::countLines(const QString &path, bool lfEndsLine, LineEnds *ends)
{
    LineReader reader(path, lfEndsLine, 0);
    LineEnds seen;
    qint64 count = 0;
    bool open = false;          // a line has begun and not ended
    bool crAtBlockEnd = false;  // the last block ended in CR: the next one tells CR from CR LF
    while (reader.fill()) {
        if (crAtBlockEnd) {
            ++(reader.m_pos == 1 ? seen.crlf : seen.cr); // fill() stepped over the LF of a CR LF
            crAtBlockEnd = false;
        }
        const char *data = reader.m_buffer.constData();
        qsizetype pos = reader.m_pos;
        const qsizetype end = reader.m_end;
        // A LF that completes a CR LF across blocks has already been stepped over by fill().
        while (pos < end) {
            const qsizetype at = reader.findLineEnd(data, pos, end);
            if (at == end) {
                open = true;
                break;
            }
            ++count;
            open = false;
            pos = at + 1;
            if (data[at] == '\r') {
                if (pos < end) {
                    if (data[pos] == '\n') {
                        ++pos;
                        ++seen.crlf;
                    } else {
                        ++seen.cr;
                    }
                } else {
                    reader.m_skipLf = true;
                    crAtBlockEnd = true;
                }
            } else {
                ++seen.lf;
            }
        }
        reader.m_pos = end;
    }
    if (crAtBlockEnd)
        ++seen.cr;
    seen.lastEnded = !open;
    if (ends)
        *ends = seen;
    return count + (open ? 1 : 0);
}

} // namespace tessarc
