#include "programjournal.h"

#include "controlerror.h"
#include "linestore.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tessarc {

namespace {

const QByteArray kFirstLine = "VORNEXA line store journal 1";

} // namespace

QByteArray ProgramJournal::encode() const
{
    QByteArray out = kFirstLine + '\n';
    out += "program=" + QUrl::toPercentEncoding(program) + '\n';
    out += "lines=" + QByteArray::number(lines) + '\n';
    out += "reclen=" + QByteArray::number(recordLength) + '\n';
    out += QByteArray("lfendsline=") + (lfEndsLine ? "1" : "0") + '\n';
    out += QByteArray("changed=") + (changed ? "1" : "0") + '\n';
    out += "changedat=" + changedAt.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
    out += "instance=" + QByteArray::number(instance) + '\n';
    out += "lineend=" + lineEnd.toHex() + '\n';
    out += QByteArray("lastended=") + (lastEnded ? "1" : "0") + '\n';
    out += "end\n";
    return out;
}

std::optional<ProgramJournal> ProgramJournal::decode(const QByteArray &bytes, QString *problem)
{
    const auto refuse = [problem](const QString &why) -> std::optional<ProgramJournal> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first() != kFirstLine)
        return refuse(QStringLiteral("it is not a journal of this program"));
    if (!bytes.endsWith("end\n"))
        return refuse(QStringLiteral("it is cut short"));
    ProgramJournal j;
    int seen = 0;
    for (const QByteArray &line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        bool ok = true;
        if (key == "program") {
            j.program = QUrl::fromPercentEncoding(value);
        } else if (key == "lines") {
            j.lines = value.toLongLong(&ok);
        } else if (key == "reclen") {
            const qint64 length = value.toLongLong(&ok);
            if (ok && !LineStore::recordLengthProblem(length).isEmpty())
                return refuse(QStringLiteral("its record length of %1 bytes is outside what a record holds (%2 to %3 bytes)")
                                  .arg(length)
                                  .arg(LineStore::kShortestRecord)
                                  .arg(LineStore::kLongestRecord));
            j.recordLength = static_cast<int>(length);
        } else if (key == "lfendsline") {
            j.lfEndsLine = value == "1";
        } else if (key == "changed") {
            j.changed = value == "1";
        } else if (key == "changedat") {
            j.changedAt = QDateTime::fromString(QString::fromLatin1(value), Qt::ISODate);
        } else if (key == "instance") {
            j.instance = value.toLongLong(&ok);
        } else if (key == "lineend" || key == "lastended") {
            // Kept since the journal's first version; an unknown end keeps CR LF.
            const QByteArray end = QByteArray::fromHex(value);
            if (key == "lastended")
                j.lastEnded = value == "1";
            else if (end == "\r\n" || end == "\n" || end == "\r")
                j.lineEnd = end;
            continue;
        } else {
            continue;
        }
        if (!ok)
            return refuse(QStringLiteral("its %1 is not a number").arg(QString::fromLatin1(key)));
        ++seen;
    }
    if (seen < 7 || j.program.isEmpty() || j.lines < 0 || j.recordLength == 0)
        return refuse(QStringLiteral("it is damaged"));
    return j;
}

QString ProgramJournal::pathFor(const QString &store)
{
    QString base = store;
    if (base.endsWith(QLatin1String(".qen.tmp")))
        base.chop(3);
    else
        base += QLatin1Char('.');
    return base + QStringLiteral("journal");
}

void ProgramJournal::write(const QString &path) const
{
    const QByteArray bytes = encode();
    const QString temporary = path + QStringLiteral(".new");
    const QByteArray name = QFile::encodeName(temporary);
    // Made afresh, never through a link: whatever stands under the name (a link planted there, or
    // a file left by a write that was cut short) goes first; it is this store's own name.
    ::unlink(name.constData());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        throw ControlError::fromErrno(errno, temporary);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int err = put < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(name.constData());
            throw ControlError::fromErrno(err, temporary);
        }
        done += put;
    }
    const bool synced = ::fdatasync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 || !synced) {
        const int err = synced ? errno : syncError;
        ::unlink(name.constData());
        throw ControlError::fromErrno(err, temporary);
    }
    if (std::rename(name.constData(), QFile::encodeName(path).constData()) != 0) {
        const int err = errno;
        ::unlink(name.constData());
        throw ControlError::fromErrno(err, path);
    }
}

std::optional<ProgramJournal> ProgramJournal::read(const QString &path, QString *problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = file.errorString();
        return std::nullopt;
    }
    return decode(file.read(64 * 1024), problem);
}

// ---------------------------------------------------------------- written away from the caller

struct JournalWriter::State
{
    struct Job
    {
        QString store;
        ProgramJournal journal;
        quint64 generation = 0;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::optional<Job> pending;
    quint64 generation = 0;
    bool busy = false;
    quint64 current = 0; // the generation of the journal being written
    bool stop = false;
    bool running = false; // a thread serves this state
};

JournalWriter::JournalWriter() : m_state(std::make_shared<State>())
{
}

JournalWriter::~JournalWriter()
{
    State &s = *m_state;
    std::unique_lock<std::mutex> hold(s.mutex);
    // What was posted and not dropped is written before the writer goes.
    s.idle.wait(hold, [&s] { return !s.pending && !(s.busy && s.current == s.generation); });
    s.stop = true;
    hold.unlock();
    s.wake.notify_all();
}

void JournalWriter::post(const QString &store, const ProgramJournal &journal)
{
    State &s = *m_state;
    {
        const std::lock_guard<std::mutex> hold(s.mutex);
        s.pending = State::Job{store, journal, s.generation};
        if (!s.running) {
            s.running = true;
            std::thread([state = m_state] { run(state); }).detach();
        }
    }
    s.wake.notify_one();
}

void JournalWriter::drop()
{
    State &s = *m_state;
    const std::lock_guard<std::mutex> hold(s.mutex);
    s.pending.reset();
    ++s.generation;
    s.idle.notify_all();
}

void JournalWriter::finish()
{
    State &s = *m_state;
    std::unique_lock<std::mutex> hold(s.mutex);
    s.idle.wait(hold, [&s] { return !s.pending && !s.busy; });
}

void JournalWriter::run(const std::shared_ptr<State> &state)
{
    State &s = *state;
    for (;;) {
        std::unique_lock<std::mutex> hold(s.mutex);
        s.wake.wait(hold, [&s] { return s.stop || s.pending; });
        if (!s.pending) {
            s.running = false;
            return;
        }
        const State::Job job = *s.pending;
        s.pending.reset();
        s.busy = true;
        s.current = job.generation;
        hold.unlock();

        // The store's records reach the disk before the journal says what the store holds.
        const int fd = ::open(QFile::encodeName(job.store).constData(), O_RDONLY | O_CLOEXEC);
        const bool flushed = fd >= 0 && ::fdatasync(fd) == 0;
        if (fd >= 0)
            ::close(fd);

        hold.lock();
        // Written under the lock, so once drop() returns no journal it dropped can still appear.
        if (flushed && job.generation == s.generation) {
            try {
                job.journal.write(ProgramJournal::pathFor(job.store));
            } catch (const ControlError &) {
                // Without a journal the changes cannot be offered back after a crash; the
                // program itself is as it should be.
            }
        }
        s.busy = false;
        hold.unlock();
        s.idle.notify_all();
    }
}

} // namespace tessarc
