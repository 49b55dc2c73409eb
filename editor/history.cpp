#include "history.h"

#include "fileio.h"
#include "linestore.h"
#include "program.h"
#include "sharedbytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <deque>
#include <mutex>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessarc {

namespace {

// Room claimed for a step before its change starts, so a full disk refuses the change up front.
constexpr qint64 kProbeBytes = 1 << 20;
// Old text gathered before it is written out.
constexpr qsizetype kJournalBlock = 1 << 20;
// Lines between two progress reports.
constexpr qint64 kReportEvery = 4096;

void appendNumber(QByteArray &out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

quint64 numberAt(const char *at, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(at[i]);
    return value;
}

ControlError historyError(const ControlError &cause)
{
    return ControlError(cause.number(), QStringLiteral("The history of changes could not be written (%1). Nothing was "
                                                       "changed; free some disk space, or keep a smaller history on "
                                                       "the Options window")
                                            .arg(cause.description()));
}

qint64 sizeOf(const QString &dir)
{
    qint64 total = 0;
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

// A records step's file. It starts with its format's mark; then one entry a changed record: how
// far its number is from the last entry's (from 0 for the first), how many bytes at its start and
// at its end the old and the new text share, and the old text between them (its length, then the
// bytes). The numbers are written seven bits a byte, the low ones first, the high bit set on every
// byte but the last, and the distance as twice itself, less one and its sign flipped when it is
// back. Most tools change a few bytes of each line in order, so an entry is often five bytes.
constexpr char kCompactMark[8] = {'Q', 'H', 'S', 'P', 'A', 'N', '0', '3'};
constexpr qsizetype kMostCompactHead = 10 + 3 * 3; // a distance of 64 bits, three counts of 16
// The format before it, still read: the record's number (8 bytes), the shared start and end (2
// bytes each), the old text between them (2 bytes of length, then the bytes).
constexpr char kSpansMark[8] = {'Q', 'H', 'S', 'P', 'A', 'N', '0', '2'};
constexpr qsizetype kEntryHead = 14;

char *putNumber(char *to, quint64 n)
{
    while (n >= 0x80) {
        *to++ = static_cast<char>(n | 0x80);
        n >>= 7;
    }
    *to++ = static_cast<char>(n);
    return to;
}

// The number at `from`, no further than `end`; false when it does not end there or is too long.
bool takeNumber(const char *&from, const char *end, quint64 &n)
{
    n = 0;
    for (int shift = 0; from < end && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(*from++);
        n |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// Reads the entries of a records step in the order they were kept, from large blocks of the file.
// A file without the mark is of the first format, whose entries hold each record's old text whole.
class JournalReader
{
public:
    explicit JournalReader(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw ControlError(ControlError::FileNotFound, QStringLiteral("The history step %1 cannot be read").arg(path));
        const bool marked = fill(sizeof kSpansMark) >= qsizetype(sizeof kSpansMark);
        m_compact = marked && std::memcmp(m_block.constData(), kCompactMark, sizeof kCompactMark) == 0;
        m_spans = m_compact || (marked && std::memcmp(m_block.constData(), kSpansMark, sizeof kSpansMark) == 0);
        if (m_spans)
            m_at = sizeof kSpansMark;
    }
    // Takes the entry peek() told of, for a record whose text now is `length` bytes, in room for
    // `room`: how many bytes its old text shares with it at its start and at its end, and the old
    // bytes between them (valid until the next peek()). An entry that does not fit is damaged.
    void takeSpan(qsizetype length, qsizetype room, qsizetype &prefix, qsizetype &suffix, QByteArrayView &middle)
    {
        if (m_compact) {
            if (!have(m_head + m_length))
                throw damaged();
            middle = QByteArrayView(m_block.constData() + m_at + m_head, m_length);
            m_at += m_head + m_length;
            m_last = m_next;
            prefix = m_prefix;
            suffix = m_suffix;
        } else {
            // The earlier formats: the second holds the shared start and end, the first none.
            const qsizetype head = m_spans ? kEntryHead : 10;
            const char *entry = m_block.constData() + m_at;
            prefix = m_spans ? qFromLittleEndian<quint16>(entry + 8) : 0;
            suffix = m_spans ? qFromLittleEndian<quint16>(entry + 10) : 0;
            const qsizetype bytes = qFromLittleEndian<quint16>(entry + head - 2);
            if (!have(head + bytes))
                throw damaged();
            middle = QByteArrayView(m_block.constData() + m_at + head, bytes);
            m_at += head + bytes;
        }
        if (prefix + suffix > length || prefix + suffix + middle.size() > room)
            throw damaged();
    }
    // The record of the next entry, without taking it; false at the end.
    bool peek(LineNumber &record)
    {
        if (m_compact) {
            const qsizetype ahead = fill(kMostCompactHead);
            if (ahead == 0)
                return false;
            const char *from = m_block.constData() + m_at, *const end = from + ahead;
            quint64 distance = 0, prefix = 0, suffix = 0, length = 0;
            if (!takeNumber(from, end, distance) || !takeNumber(from, end, prefix) || !takeNumber(from, end, suffix)
                || !takeNumber(from, end, length) || prefix > 0xffff || suffix > 0xffff || length > 0xffff)
                throw damaged();
            m_next = m_last + static_cast<qint64>((distance >> 1) ^ (0 - (distance & 1)));
            if (m_next < 1)
                throw damaged();
            m_head = from - (m_block.constData() + m_at);
            m_prefix = static_cast<qsizetype>(prefix);
            m_suffix = static_cast<qsizetype>(suffix);
            m_length = static_cast<qsizetype>(length);
            record = LineNumber(m_next);
            return true;
        }
        if (!have(m_spans ? kEntryHead : 10))
            return false;
        record = LineNumber(static_cast<qint64>(qFromLittleEndian<quint64>(m_block.constData() + m_at)));
        return true;
    }

private:
    // How many bytes lie ahead in the block, `bytes` or more, reading more of the file when fewer
    // do; fewer only at the file's end.
    qsizetype fill(qsizetype bytes)
    {
        if (m_block.size() - m_at >= bytes)
            return m_block.size() - m_at;
        m_block.remove(0, m_at);
        m_at = 0;
        while (m_block.size() < bytes) {
            const QByteArray more = m_file.read(kJournalBlock);
            if (more.isEmpty())
                break;
            m_block.append(more);
        }
        return m_block.size();
    }
    // Whether `bytes` bytes lie ahead; none at all is the end, some but not all a damaged file.
    bool have(qsizetype bytes)
    {
        const qsizetype ahead = fill(bytes);
        if (ahead >= bytes)
            return true;
        if (ahead > 0)
            throw damaged();
        return false;
    }
    ControlError damaged() const
    {
        return ControlError(ControlError::BadRecordLength, QStringLiteral("The history step %1 is damaged").arg(m_file.fileName()));
    }
    QFile m_file;
    QByteArray m_block;
    qsizetype m_at = 0;
    bool m_spans = false;
    bool m_compact = false;
    // The compact format's entry peek() read: the record, the record before it, and its parts.
    qint64 m_next = 0;
    qint64 m_last = 0;
    qsizetype m_head = 0;
    qsizetype m_prefix = 0;
    qsizetype m_suffix = 0;
    qsizetype m_length = 0;
};

} // namespace

// ---------------------------------------------------------------- the journal of one step

class ChangeRecord::Journal : public RecordJournal
{
public:
    Journal(const QString &path, History::Step &step) : m_path(path), m_step(step)
    {
        std::memcpy(m_buffer.get(), kCompactMark, sizeof kCompactMark);
        m_used = sizeof kCompactMark;
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (m_fd < 0)
            throw ControlError::fromErrno(errno, path);
        // The room is claimed and given back: a disk that cannot hold it refuses the change now.
        const int err = ::posix_fallocate(m_fd, 0, kProbeBytes);
        if (err != 0 && err != EOPNOTSUPP && err != EINVAL) {
            ::close(m_fd);
            m_fd = -1;
            throw ControlError::fromErrno(err, path);
        }
        if (::ftruncate(m_fd, 0) != 0) {
            const int e = errno;
            ::close(m_fd);
            m_fd = -1;
            throw ControlError::fromErrno(e, path);
        }
    }
    ~Journal() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    void keep(LineNumber record, QByteArrayView old, QByteArrayView now, qsizetype prefix) override
    {
        const qsizetype suffix = sharedEnd(old.sliced(prefix), now.sliced(prefix));
        keepSpan(record, prefix, suffix, old.sliced(prefix, old.size() - prefix - suffix));
    }

    // Keeps the entry of a record that now shares `prefix` bytes at its start and `suffix` at its
    // end with what it held, and held `old` between them. Called for every record a run changes:
    // the entry is laid down in place, no appends.
    void keepSpan(LineNumber record, qsizetype prefix, qsizetype suffix, QByteArrayView old)
    {
        const qsizetype middle = old.size();
        char *const entry = m_buffer.get() + m_used;
        const qint64 distance = record.value - m_lastRecord;
        m_lastRecord = record.value;
        char *to = putNumber(entry, (static_cast<quint64>(distance) << 1) ^ static_cast<quint64>(distance >> 63));
        to = putNumber(to, static_cast<quint64>(prefix));
        to = putNumber(to, static_cast<quint64>(suffix));
        to = putNumber(to, static_cast<quint64>(middle));
        std::memcpy(to, old.data(), static_cast<size_t>(middle));
        m_used = to + middle - m_buffer.get();
        if (m_entries == 0)
            m_step.first = record;
        m_step.last = record;
        ++m_entries;
        if (m_used >= kJournalBlock)
            seal();
    }

    qint64 seal() override
    {
        if (m_used > 0) {
            std::unique_ptr<char[]> next;
            const std::lock_guard<std::mutex> hold(m_lock);
            m_sealed.push_back({m_sealedEnd, m_used, std::move(m_buffer)});
            if (m_spare.empty()) {
                next.reset(new char[kBufferBytes]);
            } else {
                next = std::move(m_spare.back());
                m_spare.pop_back();
            }
            m_buffer = std::move(next);
            m_sealedEnd += m_used;
            m_used = 0;
        }
        return m_sealedEnd;
    }

    void writeUpTo(qint64 bytes) override
    {
        for (;;) {
            Sealed block;
            {
                const std::lock_guard<std::mutex> hold(m_lock);
                if (m_sealed.empty() || m_sealed.front().offset >= bytes)
                    return;
                block = std::move(m_sealed.front());
                m_sealed.pop_front();
                m_reached = std::max(m_reached, block.offset + block.size);
            }
            try {
                writeAllAt(m_fd, block.bytes.get(), block.size, block.offset, m_path);
            } catch (...) {
                const std::lock_guard<std::mutex> hold(m_lock);
                m_sealed.push_front(std::move(block)); // written again by the next call
                throw;
            }
            const std::lock_guard<std::mutex> hold(m_lock);
            m_written = block.offset + block.size;
            m_spare.push_back(std::move(block.bytes));
        }
    }

    void flush() override { writeUpTo(seal()); }

    Mark mark() const override
    {
        return {m_sealedEnd + m_used, m_entries, m_lastRecord, m_step.first.value, m_step.last.value};
    }

    void cutTo(const Mark &mark) override
    {
        if (mark.bytes >= m_sealedEnd) {
            m_used = mark.bytes - m_sealedEnd;
        } else {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_used = 0;
            while (!m_sealed.empty() && m_sealed.back().offset >= mark.bytes) {
                m_spare.push_back(std::move(m_sealed.back().bytes));
                m_sealed.pop_back();
            }
            if (!m_sealed.empty())
                m_sealed.back().size = std::min(m_sealed.back().size, mark.bytes - m_sealed.back().offset);
            m_sealedEnd = mark.bytes;
            m_written = std::min(m_written, mark.bytes);
            // A write that failed may have left some of its bytes past what was written whole.
            if (m_reached > m_written) {
                m_reached = m_written;
                if (::ftruncate(m_fd, m_written) != 0) {
                    // Entries that cannot be taken out would put back text over records that never
                    // had it: the step is better not kept at all.
                    m_broken = true;
                    return;
                }
            }
        }
        if (m_broken)
            return;
        m_entries = mark.entries;
        m_lastRecord = mark.lastRecord;
        m_step.first = LineNumber(mark.firstKept);
        m_step.last = LineNumber(mark.lastKept);
    }

    qint64 entries() const { return m_broken ? 0 : m_entries; }
    // Whether the file holds an entry, also one a failed cut left in it.
    bool holdsAny() const { return m_entries > 0; }

private:
    // Room past kJournalBlock for the longest entry (left unset: a small change touches only the
    // start of a buffer).
    static constexpr qsizetype kBufferBytes = kJournalBlock + kMostCompactHead + (1 << 16);
    // Entries closed for writing: `size` bytes at `offset` of the file.
    struct Sealed
    {
        qint64 offset = 0;
        qint64 size = 0;
        std::unique_ptr<char[]> bytes;
    };

    QString m_path;
    History::Step &m_step;
    int m_fd = -1;
    // The entries being kept, after the sealed ones.
    std::unique_ptr<char[]> m_buffer{new char[kBufferBytes]};
    qsizetype m_used = 0;
    qint64 m_sealedEnd = 0;  // bytes of the journal sealed
    qint64 m_entries = 0;
    qint64 m_lastRecord = 0; // of the last entry
    bool m_broken = false;   // entries could not be taken out: nothing is kept
    // Shared with a writeUpTo() on another thread.
    std::mutex m_lock;
    std::deque<Sealed> m_sealed;                  // in the order of the file, none written yet
    std::vector<std::unique_ptr<char[]>> m_spare; // buffers written out, to be used again
    qint64 m_written = 0;                         // bytes of the file written whole
    qint64 m_reached = 0;                         // the furthest any write may have reached
};

// ---------------------------------------------------------------- recording a change

ChangeRecord::ChangeRecord(Program &program, const QString &name, LineNumber page) : m_program(program)
{
    History &history = program.history();
    m_outer = !program.recording();
    m_stepless = m_outer && history.stepLimit() <= 0;
    if (history.stepLimit() <= 0 || program.recording())
        return; // no history kept, or already inside a change that records it
    m_step = history.newStep(name, History::Kind::Records, page);
    try {
        m_journal = std::make_unique<Journal>(m_step.dir + QStringLiteral("/records"), m_step);
    } catch (const ControlError &error) {
        QDir(m_step.dir).removeRecursively();
        throw historyError(error);
    }
    m_active = true;
    program.setRecording(this);
}

ChangeRecord::~ChangeRecord()
{
    try {
        finish();
    } catch (...) {
        // A step that cannot be kept is dropped; the change itself stands.
        QDir(m_step.dir).removeRecursively();
    }
}

RecordJournal *ChangeRecord::journal()
{
    if (!m_active)
        return nullptr;
    m_step.kind = History::Kind::Records;
    return m_journal.get();
}

void ChangeRecord::keepLines(LineNumber first, const QList<QByteArray> &old, qint64 replacedBy)
{
    if (!m_active)
        return;
    QByteArray bytes;
    for (const QByteArray &line : old) {
        appendNumber(bytes, static_cast<quint64>(line.size()), 2);
        bytes.append(line);
    }
    QFile file(m_step.dir + QStringLiteral("/lines"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size())
        throw historyError(ControlError(ControlError::DiskFull, file.errorString()));
    m_step.kind = History::Kind::Lines;
    m_step.first = first;
    m_step.replaced = replacedBy;
    m_recorded = true;
}

QString ChangeRecord::storeKeeper()
{
    if (!m_active)
        return QString();
    m_step.kind = History::Kind::Store;
    m_recorded = true;
    return m_step.dir + QStringLiteral("/store");
}

void ChangeRecord::finish()
{
    const bool kept = keepStep();
    if (m_outer) {
        // A change that left nothing to take back changed nothing (a read-only run); without a
        // history there is no telling, and the program counts as changed.
        m_outer = false;
        if (kept || m_stepless)
            m_program.markChanged();
    }
}

bool ChangeRecord::keepStep()
{
    if (!m_active)
        return false;
    m_active = false;
    m_program.setRecording(nullptr);
    if (m_journal) {
        if (m_step.kind == History::Kind::Records) {
            m_journal->flush();
            m_recorded = m_journal->entries() > 0;
        }
        m_journal.reset();
    }
    if (!m_recorded) {
        QDir(m_step.dir).removeRecursively();
        return false;
    }
    if (m_step.kind != History::Kind::Records)
        QFile::remove(m_step.dir + QStringLiteral("/records"));
    m_step.bytes = sizeOf(m_step.dir);
    m_program.history().push(m_step);
    return true;
}

// ---------------------------------------------------------------- the history

History::History(Program &program) : m_program(program)
{
}

History::~History() = default;

QString History::folder() const
{
    return folderFor(m_program.store);
}

QString History::folderFor(const QString &store)
{
    QString base = store;
    if (base.endsWith(QLatin1String(".qen.tmp")))
        base.chop(3); // "0.qen.tmp" keeps its history in "0.qen.history"
    else
        base += QLatin1Char('.');
    return base + QStringLiteral("history");
}

void History::setLimits(int steps, qint64 bytes)
{
    m_stepLimit = std::max(0, steps);
    m_byteLimit = std::max<qint64>(0, bytes);
    trim();
    emit changed();
}

QString History::undoName() const
{
    return m_undo.empty() ? QString() : m_undo.back().name;
}

QString History::redoName() const
{
    return m_redo.empty() ? QString() : m_redo.back().name;
}

qint64 History::bytesHeld() const
{
    qint64 total = 0;
    for (const Step &step : m_undo)
        total += step.bytes;
    for (const Step &step : m_redo)
        total += step.bytes;
    return total;
}

History::Step History::newStep(const QString &name, Kind kind, LineNumber page)
{
    Step step;
    step.name = name;
    step.kind = kind;
    step.page = page;
    step.lineCount = m_program.lineCount();
    // The history is written only into a folder of its own: never through a link planted in its
    // place, whose target would be emptied and written into.
    const QFileInfo own(folder());
    if (own.isSymLink() || (own.exists() && !own.isDir()))
        throw historyError(ControlError(ControlError::PathFileAccessError,
                                        QStringLiteral("%1 is a link or a file, not the program's own history folder, "
                                                       "and nothing is written through it")
                                            .arg(QDir::toNativeSeparators(own.filePath()))));
    step.dir = folder() + QStringLiteral("/") + QString::number(++m_serial);
    QDir(step.dir).removeRecursively();
    if (!QDir().mkpath(step.dir))
        throw historyError(ControlError(ControlError::PathFileAccessError,
                                        QStringLiteral("the folder %1 cannot be made").arg(step.dir)));
    return step;
}

void History::push(Step step)
{
    for (const Step &dropped : m_redo)
        dropStep(dropped);
    m_redo.clear();
    m_undo.push_back(std::move(step));
    trim();
    emit changed();
}

void History::dropStep(const Step &step)
{
    QDir(step.dir).removeRecursively();
}

void History::trim()
{
    while (!m_undo.empty() && (static_cast<qint64>(m_undo.size()) > m_stepLimit || bytesHeld() > m_byteLimit)) {
        dropStep(m_undo.front());
        m_undo.erase(m_undo.begin());
    }
    if (m_stepLimit == 0) {
        for (const Step &step : m_redo)
            dropStep(step);
        m_redo.clear();
    }
}

void History::clear()
{
    m_undo.clear();
    m_redo.clear();
    if (!m_program.store.isEmpty())
        QDir(folder()).removeRecursively();
    emit changed();
}

namespace {

// Whether `a` and `b` hold the same bytes; most are a few bytes long, not worth a call.
bool sameBytes(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    if (a.size() > 16)
        return std::memcmp(a.data(), b.data(), static_cast<size_t>(a.size())) == 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// Puts the old texts a records journal kept back into their records, in the order of the
// records, each where it lies; a record without an entry stays as it is. `replaced(record, prefix,
// suffix, now)` is told of each record that changes, before it does: it shares `prefix` bytes at
// its start and `suffix` at its end with its old text, and holds `now` between them.
class KeptTexts
{
public:
    KeptTexts(const QString &journal, qsizetype room) : m_kept(journal), m_room(room) { m_more = m_kept.peek(m_next); }
    template <class Replaced>
    void put(LineNumber record, char *text, qsizetype &length, Replaced &&replaced)
    {
        if (!m_more || record != m_next)
            return;
        qsizetype prefix = 0;
        qsizetype suffix = 0;
        QByteArrayView middle;
        m_kept.takeSpan(length, m_room, prefix, suffix, middle);
        const QByteArrayView now(text + prefix, length - prefix - suffix);
        if (!sameBytes(middle, now)) {
            replaced(record, prefix, suffix, now);
            std::memmove(text + prefix + middle.size(), text + length - suffix, static_cast<size_t>(suffix));
            std::memcpy(text + prefix, middle.data(), static_cast<size_t>(middle.size()));
            length = prefix + middle.size() + suffix;
        }
        m_more = m_kept.peek(m_next);
    }

private:
    JournalReader m_kept;
    qsizetype m_room;
    LineNumber m_next;
    bool m_more = false;
};

// Puts back what a records journal kept of lines first ... first + count - 1.
void putBack(LineStore &store, const QString &journal, LineNumber first, qint64 count)
{
    KeptTexts kept(journal, store.maxLineLength());
    store.editRecords(
        first, count,
        [&](LineNumber record, char *text, qsizetype &length) {
            kept.put(record, text, length, [](LineNumber, qsizetype, qsizetype, QByteArrayView) {});
            return true;
        },
        nullptr);
}

} // namespace

LineNumber History::undo(const std::function<void(qint64, qint64)> &progress)
{
    if (m_undo.empty())
        return LineNumber(1);
    const Step step = m_undo.back();
    Step inverse = apply(step, progress);
    m_undo.pop_back();
    m_redo.push_back(std::move(inverse));
    m_program.markChanged();
    emit changed();
    return step.page;
}

LineNumber History::redo(const std::function<void(qint64, qint64)> &progress)
{
    if (m_redo.empty())
        return LineNumber(1);
    const Step step = m_redo.back();
    Step inverse = apply(step, progress);
    m_redo.pop_back();
    m_undo.push_back(std::move(inverse));
    m_program.markChanged();
    emit changed();
    return step.page;
}

History::Step History::apply(const Step &step, const std::function<void(qint64, qint64)> &progress)
{
    Step inverse = newStep(step.name, step.kind, step.page);
    try {
        switch (step.kind) {
        case Kind::Records: {
            // The kept text goes back in one pass over the records it covers; what it replaces is
            // kept for the way back.
            ChangeRecord::Journal back(inverse.dir + QStringLiteral("/records"), inverse);
            LineStore store;
            m_program.openStore(store);
            KeptTexts kept(step.dir + QStringLiteral("/records"), store.maxLineLength());
            const qint64 span = step.last - step.first + 1;
            const auto told = qScopeGuard([&]() { m_program.tellRewritten(step.first, span); });
            try {
                store.editRecords(
                    step.first, span,
                    [&](LineNumber record, char *text, qsizetype &length) {
                        kept.put(record, text, length, [&](LineNumber at, qsizetype prefix, qsizetype suffix, QByteArrayView now) {
                            back.keepSpan(at, prefix, suffix, now);
                        });
                        if (progress && (record - step.first) % kReportEvery == 0)
                            progress(record - step.first, span);
                        return true;
                    },
                    &back);
            } catch (const ControlError &failure) {
                // A step goes back whole or not at all: the blocks written before the failure (a
                // damaged entry, a damaged record, the disk) are put back from what their
                // rewrite kept, and the step stays where it was.
                // (An entry a failed cut left in the file is of a block never written: it puts
                // back the text the record still has.)
                if (const std::optional<QString> notBack = failureOf([&] {
                        back.flush();
                        if (back.holdsAny())
                            putBack(store, inverse.dir + QStringLiteral("/records"), inverse.first, inverse.last - inverse.first + 1);
                    }))
                    throw ControlError(failure.number(), QStringLiteral("%1; the lines it had changed before it could not be put back: %2")
                                                             .arg(failure.description(), *notBack));
                throw;
            }
            back.flush();
            store.close();
            break;
        }
        case Kind::Lines: {
            QFile file(step.dir + QStringLiteral("/lines"));
            if (!file.open(QIODevice::ReadOnly))
                throw ControlError(ControlError::FileNotFound, QStringLiteral("The history step %1 cannot be read").arg(file.fileName()));
            const QByteArray bytes = file.readAll();
            QList<QByteArray> old;
            for (qsizetype at = 0; at < bytes.size();) {
                if (at + 2 > bytes.size())
                    throw ControlError(ControlError::BadRecordLength, QStringLiteral("The history step %1 is damaged").arg(file.fileName()));
                const qsizetype length = static_cast<qsizetype>(numberAt(bytes.constData() + at, 2));
                old.append(bytes.mid(at + 2, length));
                at += 2 + length;
            }
            const QList<QByteArray> now = m_program.readLines(step.first, step.replaced);
            QByteArray back;
            for (const QByteArray &line : now) {
                appendNumber(back, static_cast<quint64>(line.size()), 2);
                back.append(line);
            }
            QFile out(inverse.dir + QStringLiteral("/lines"));
            if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || out.write(back) != back.size())
                throw ControlError(ControlError::DiskFull, out.errorString());
            inverse.first = step.first;
            inverse.replaced = old.size();
            m_program.replaceLines(step.first, step.replaced, old);
            break;
        }
        case Kind::Store: {
            // The two stores trade places: no line is copied.
            const QByteArray current = QFile::encodeName(m_program.store);
            const QByteArray kept = QFile::encodeName(step.dir + QStringLiteral("/store"));
            const QByteArray aside = QFile::encodeName(inverse.dir + QStringLiteral("/store"));
            if (std::rename(current.constData(), aside.constData()) != 0)
                throw ControlError::fromErrno(errno, m_program.store);
            if (std::rename(kept.constData(), current.constData()) != 0) {
                const int err = errno;
                std::rename(aside.constData(), current.constData());
                throw ControlError::fromErrno(err, m_program.store);
            }
            const qint64 before = m_program.lineCount();
            m_program.setLineCount(step.lineCount);
            m_program.tellReplaced(before);
            break;
        }
        }
    } catch (...) {
        dropStep(inverse);
        throw;
    }
    inverse.bytes = sizeOf(inverse.dir);
    if (progress)
        progress(1, 1);
    dropStep(step);
    return inverse;
}

} // namespace tessarc
