#include "linestore.h"

#include "fileio.h"
#include "history.h"
#include "sharedbytes.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <cerrno>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessarc {

namespace {

// Records are gathered up to about this many bytes before they are written.
constexpr qint64 kBlockBytes = 1 << 20;
// Block copies that the kernel cannot do move through a buffer of this size.
constexpr qint64 kCopyBytes = 4 << 20;

// A record's count of text bytes, held in its first two (low byte first).
int storedLength(const char *rec)
{
    return static_cast<unsigned char>(rec[0]) | (static_cast<unsigned char>(rec[1]) << 8);
}

void setStoredLength(char *rec, qsizetype n)
{
    rec[0] = static_cast<char>(n & 0xff);
    rec[1] = static_cast<char>((n >> 8) & 0xff);
}

// Writes a rewrite's blocks behind the work on the next, one at a time and in order: on a thread
// of its own, or at once. What a write threw comes out of the next wait().
class WriteBehind
{
public:
    explicit WriteBehind(bool threaded)
    {
        if (threaded)
            m_thread = std::thread([this] { run(); });
    }
    ~WriteBehind()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    // Starts `write`; the one before it must have been waited for.
    void post(std::function<void()> write)
    {
        if (!m_thread.joinable()) {
            try {
                write();
            } catch (...) {
                m_failed = std::current_exception();
            }
            return;
        }
        m_awaited = false;
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_job = std::move(write);
        }
        m_wake.notify_all();
    }

    // Whether the write posted last is being waited for: a write that is not can take on more.
    bool awaited() const { return m_awaited; }

    // Waits for the write posted last to end, and throws what it threw.
    void wait()
    {
        m_awaited = true;
        std::unique_lock<std::mutex> hold(m_lock);
        m_wake.wait(hold, [this] { return !m_job; });
        if (m_failed)
            std::rethrow_exception(std::exchange(m_failed, nullptr));
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> hold(m_lock);
        for (;;) {
            m_wake.wait(hold, [this] { return m_quit || m_job; });
            if (!m_job)
                return;
            hold.unlock();
            std::exception_ptr failed;
            try {
                m_job();
            } catch (...) {
                failed = std::current_exception();
            }
            hold.lock();
            m_failed = failed;
            m_job = nullptr;
            m_wake.notify_all();
        }
    }

    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::function<void()> m_job; // the write posted and not yet ended
    std::exception_ptr m_failed;
    bool m_quit = false;
    std::atomic<bool> m_awaited{false};
};

} // namespace

namespace {
std::atomic<bool> g_writesBehind{std::thread::hardware_concurrency() > 1};
} // namespace

void LineStore::setWritesBehind(bool on)
{
    g_writesBehind = on;
}

bool LineStore::writesBehind()
{
    return g_writesBehind;
}

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

QString LineStore::recordLengthProblem(qint64 recordLength)
{
    if (recordLength >= kShortestRecord && recordLength <= kLongestRecord)
        return QString();
    return QStringLiteral("Bad record length: %1 bytes is outside what a record holds (%2 to %3 bytes).")
        .arg(recordLength)
        .arg(kShortestRecord)
        .arg(kLongestRecord);
}

void LineStore::open(const QString &path, int recordLength, bool create)
{
    close();
    const QString problem = recordLengthProblem(recordLength);
    if (!problem.isEmpty())
        throw ControlError(ControlError::BadRecordLength, problem);
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

qint64 LineStore::offsetOf(LineNumber record) const
{
    if (record.value < 1)
        throw ControlError(ControlError::BadRecordLength, QStringLiteral("Bad record number %1").arg(record.value));
    return (record.value - 1) * m_recLen;
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

ControlError LineStore::badRecord(const char *rec, LineNumber record) const
{
    const int n = storedLength(rec);
    return ControlError(ControlError::BadRecordLength, QStringLiteral("Bad record length: record %1 of %2 claims %3 characters")
                                                          .arg(record.value)
                                                          .arg(m_path)
                                                          .arg(n));
}

QByteArray LineStore::decode(const char *rec, LineNumber record) const
{
    const int n = storedLength(rec);
    if (n > m_recLen - 2)
        throw badRecord(rec, record);
    return QByteArray(rec + 2, n);
}

void LineStore::write(LineNumber record, QByteArrayView line)
{
    requireOpen();
    if (line.size() > maxLineLength() || line.size() > 0xffff)
        throw lineTooLong(line.size(), m_recLen);
    offsetOf(record);
    if (m_pendingCount > 0 && record != m_pendingFirst + m_pendingCount)
        flush();
    if (m_pendingCount == 0)
        m_pendingFirst = record;
    const qsizetype slotCount = std::max<qsizetype>(1, kBlockBytes / m_recLen);
    if (m_pending.size() != slotCount * m_recLen) {
        m_pending = QByteArray(slotCount * m_recLen, '\0');
        m_slotUsed.assign(static_cast<size_t>(slotCount), 0);
    }
    const auto slot = static_cast<size_t>(m_pendingCount);
    char *dest = m_pending.data() + m_pendingCount * m_recLen;
    const qsizetype n = line.size();
    setStoredLength(dest, n);
    if (n > 0)
        std::memcpy(dest + 2, line.data(), static_cast<size_t>(n));
    const int used = static_cast<int>(2 + n);
    if (m_slotUsed[slot] > used)
        std::memset(dest + used, 0, static_cast<size_t>(m_slotUsed[slot] - used));
    m_slotUsed[slot] = used;
    ++m_pendingCount;
    if (m_pendingCount == slotCount)
        flush();
}

void LineStore::flush()
{
    if (m_pendingCount == 0)
        return;
    requireOpen();
    const qint64 count = m_pendingCount;
    m_pendingCount = 0;
    writeAllAt(m_fd, m_pending.constData(), count * m_recLen, offsetOf(m_pendingFirst), m_path);
}

void LineStore::forEachRecord(LineNumber first, qint64 count, const std::function<void(LineNumber, QByteArrayView)> &visit)
{
    requireOpen();
    flush();
    const qint64 recordsPerBlock = std::max<qint64>(1, (4 * kBlockBytes) / m_recLen);
    QByteArray buffer(static_cast<qsizetype>(std::min(count, recordsPerBlock) * m_recLen), Qt::Uninitialized);
    LineNumber record = first;
    qint64 left = count;
    while (left > 0) {
        const qint64 chunk = std::min(left, recordsPerBlock);
        const qint64 got = readUpTo(m_fd, buffer.data(), chunk * m_recLen, offsetOf(record), m_path);
        for (qint64 i = 0; i < chunk; ++i) {
            const char *rec = buffer.constData() + i * m_recLen;
            if ((i + 1) * m_recLen > got) {
                visit(record + i, QByteArrayView());
                continue;
            }
            const int n = storedLength(rec);
            if (n > m_recLen - 2)
                decode(rec, record + i); // throws the bad-record-length error
            visit(record + i, QByteArrayView(rec + 2, n));
        }
        record = record + chunk;
        left -= chunk;
    }
}

qint64 LineStore::rewriteBlock(char *data, LineNumber first, qint64 records, const RecordRewrite &rewrite,
                               RecordJournal *journal, QByteArray &out, std::optional<ControlError> &failure) const
{
    qint64 done = 0;
    for (; done < records; ++done) {
        char *rec = data + done * m_recLen;
        const int n = storedLength(rec);
        if (n > m_recLen - 2) {
            failure = badRecord(rec, first + done);
            break;
        }
        out.resize(0);
        if (!rewrite(first + done, QByteArrayView(rec + 2, n), out))
            break;
        const qsizetype m = out.size();
        if (m > maxLineLength() || m > 0xffff) {
            failure = lineTooLong(m, m_recLen);
            break;
        }
        if (journal) {
            const QByteArrayView old(rec + 2, n);
            const qsizetype same = sharedStart(old, out);
            if (same < n || same < m)
                journal->keep(first + done, old, out, same);
        }
        setStoredLength(rec, m);
        if (m > 0)
            std::memcpy(rec + 2, out.constData(), static_cast<size_t>(m));
        // The rest of a record stays zero.
        if (n > m)
            std::memset(rec + 2 + m, 0, static_cast<size_t>(n - m));
    }
    return done;
}

qint64 LineStore::editBlock(char *data, LineNumber first, qint64 records, const RecordEdit &edit,
                            std::optional<ControlError> &failure) const
{
    qint64 done = 0;
    for (; done < records; ++done) {
        char *rec = data + done * m_recLen;
        const int n = storedLength(rec);
        if (n > m_recLen - 2) {
            failure = badRecord(rec, first + done);
            break;
        }
        qsizetype m = n;
        if (!edit(first + done, rec + 2, m))
            break;
        setStoredLength(rec, m);
        if (n > m)
            std::memset(rec + 2 + m, 0, static_cast<size_t>(n - m)); // the rest of a record stays zero
    }
    return done;
}

void LineStore::workBlocks(LineNumber first, qint64 count, qint64 blockBytes, RecordJournal *journal, const BlockWork &work)
{
    requireOpen();
    flush();
    const qint64 perBlock = std::max<qint64>(1, blockBytes / m_recLen);
    // With more than one block, a block is written while the next is worked on, and the one after
    // it read into the same buffer if the work is still going by then.
    const int ways = g_writesBehind && count > perBlock ? 2 : 1;
    QByteArray buffers[2];
    for (int i = 0; i < ways; ++i)
        buffers[i] = QByteArray(static_cast<qsizetype>(std::min(count, perBlock) * m_recLen), Qt::Uninitialized);
    bool readAhead[2] = {false, false};
    // What the journal held before and after the block last handed to be written, and whether
    // the journal's part of its write is what failed.
    RecordJournal::Mark writingBefore;
    RecordJournal::Mark writingAfter;
    bool journalFailed = false;
    WriteBehind writes(ways > 1); // last, so that a write still going ends before what it uses
    // Waits for the block being written; when its write failed, the journal is left as a run that
    // stopped at the block would leave it (its entries kept if the journal's part was written),
    // and the failure is thrown.
    const auto settle = [&] {
        try {
            writes.wait();
        } catch (...) {
            if (journal)
                journal->cutTo(journalFailed ? writingBefore : writingAfter);
            throw;
        }
    };
    const auto readBlock = [this](char *data, qint64 records, qint64 offset) {
        const qint64 got = readUpTo(m_fd, data, records * m_recLen, offset, m_path);
        if (got < records * m_recLen)
            std::memset(data + got, 0, static_cast<size_t>(records * m_recLen - got)); // empty lines
    };
    LineNumber record = first;
    qint64 left = count;
    int slot = 0;
    while (left > 0) {
        const qint64 chunk = std::min(left, perBlock);
        const qint64 offset = offsetOf(record);
        char *const data = buffers[slot].data();
        if (!std::exchange(readAhead[slot], false)) {
            try {
                readBlock(data, chunk, offset);
            } catch (...) {
                settle(); // a failure of the block before comes first
                throw;
            }
        }
        // What the journal holds before the block: what it keeps of a block that is not written is
        // of records as they still are, and goes again.
        const RecordJournal::Mark before = journal ? journal->mark() : RecordJournal::Mark{};
        qint64 done = 0;
        std::optional<ControlError> failure;
        try {
            done = work(data, record, chunk, failure);
        } catch (...) {
            settle();
            if (journal)
                journal->cutTo(before);
            throw;
        }
        if (done > 0) {
            const qint64 journalEnd = journal ? journal->seal() : 0;
            settle();
            writingBefore = before;
            writingAfter = journal ? journal->mark() : RecordJournal::Mark{};
            // The block after the next, which this buffer holds next.
            const qint64 afterNext = std::min(std::max<qint64>(0, left - chunk - perBlock), perBlock);
            const qint64 afterNextOffset = offsetOf(record + chunk + perBlock);
            bool *const ahead = &readAhead[slot];
            writes.post([&, journalEnd, data, chunk, done, offset, afterNext, afterNextOffset, ahead] {
                journalFailed = true;
                if (journal)
                    journal->writeUpTo(journalEnd); // the old text is safe before the new is written
                journalFailed = false;
                writeAllAt(m_fd, data, done * m_recLen, offset, m_path);
                if (ways > 1 && afterNext > 0 && done == chunk && !writes.awaited()) {
                    try {
                        readBlock(data, afterNext, afterNextOffset);
                        *ahead = true;
                    } catch (const ControlError &) {
                        // read again where it is wanted, and failing there
                    }
                }
            });
            if (ways == 1)
                settle();
            slot = (slot + 1) % ways;
        }
        if (failure) {
            settle();
            throw *failure; // what came before it is written, as at a stop
        }
        if (done < chunk)
            break;
        record = record + chunk;
        left -= chunk;
    }
    settle();
}

void LineStore::rewriteRecords(LineNumber first, qint64 count, const RecordRewrite &rewrite, RecordJournal *journal,
                               qint64 blockBytes)
{
    QByteArray out;
    out.reserve(m_recLen);
    workBlocks(first, count, blockBytes, journal,
               [&](char *data, LineNumber record, qint64 records, std::optional<ControlError> &failure) {
                   return rewriteBlock(data, record, records, rewrite, journal, out, failure);
               });
}

void LineStore::editRecords(LineNumber first, qint64 count, const RecordEdit &edit, RecordJournal *journal)
{
    workBlocks(first, count, qint64(4) << 20, journal,
               [&](char *data, LineNumber record, qint64 records, std::optional<ControlError> &failure) {
                   return editBlock(data, record, records, edit, failure);
               });
}

void LineStore::moveRecords(LineNumber first, qint64 count, LineNumber to)
{
    requireOpen();
    flush();
    if (count <= 0 || first == to)
        return;
    const qint64 recordsPerBlock = std::max<qint64>(1, (4 * kBlockBytes) / m_recLen);
    QByteArray buffer(static_cast<qsizetype>(std::min(count, recordsPerBlock) * m_recLen), Qt::Uninitialized);
    // Moving towards the end, the last block goes first, so nothing is overwritten before it is read.
    const bool backwards = to > first;
    qint64 done = 0;
    while (done < count) {
        const qint64 chunk = std::min(count - done, recordsPerBlock);
        const LineNumber from = backwards ? first + (count - done - chunk) : first + done;
        const LineNumber dest = from + (to - first);
        const qint64 got = readUpTo(m_fd, buffer.data(), chunk * m_recLen, offsetOf(from), m_path);
        if (got < chunk * m_recLen)
            std::memset(buffer.data() + got, 0, static_cast<size_t>(chunk * m_recLen - got));
        writeAllAt(m_fd, buffer.constData(), chunk * m_recLen, offsetOf(dest), m_path);
        done += chunk;
    }
}

void LineStore::reserve(qint64 records)
{
    requireOpen();
    flush();
    const off_t want = static_cast<off_t>(records) * m_recLen;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw ControlError::fromErrno(errno, m_path);
    if (st.st_size >= want)
        return;
    const int err = ::posix_fallocate(m_fd, st.st_size, want - st.st_size);
    if (err == EOPNOTSUPP || err == EINVAL) {
        // A file system without allocation: writing the new records' room as zeros claims it.
        const QByteArray zeros(static_cast<qsizetype>(std::min<qint64>(want - st.st_size, kBlockBytes)), '\0');
        for (qint64 at = st.st_size; at < want; at += zeros.size())
            writeAllAt(m_fd, zeros.constData(), std::min<qint64>(zeros.size(), want - at), at, m_path);
    } else if (err != 0) {
        throw ControlError::fromErrno(err, m_path);
    }
}

void LineStore::truncate(qint64 records)
{
    requireOpen();
    flush();
    if (::ftruncate(m_fd, static_cast<off_t>(records) * m_recLen) != 0)
        throw ControlError::fromErrno(errno, m_path);
}

QByteArray LineStore::read(LineNumber record)
{
    QList<QByteArray> one = readRange(record, 1);
    return one.isEmpty() ? QByteArray() : one.front();
}

QList<QByteArray> LineStore::readRange(LineNumber first, qint64 count)
{
    QList<QByteArray> lines;
    if (count <= 0)
        return lines;
    lines.reserve(count);
    forEachRecord(first, count, [&lines](LineNumber, QByteArrayView text) { lines.append(text.toByteArray()); });
    return lines;
}

void LineStore::copyRecords(LineStore &from, LineNumber first, qint64 count, LineStore &to, LineNumber firstTo)
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
        writeAllAt(to.m_fd, buffer.constData(), got, out, to.m_path);
        in += got;
        out += got;
        left -= got;
    }
}

} // namespace tessarc
