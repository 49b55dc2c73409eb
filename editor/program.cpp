#include "program.h"

#include "linereader.h"
#include "linestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QFileInfo>
#include "safefile.h"
#include "storeclaim.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace tessarc {

namespace {

// Lines between two progress reports.
constexpr qint64 kReportEvery = 1024;

ControlError saveError(const SafeFile &file)
{
    const int number = file.diskFull() ? ControlError::DiskFull
                       : file.isOpen() ? ControlError::DeviceIoError
                                       : ControlError::PathFileAccessError;
    return ControlError(number, file.errorString());
}

ControlError tooManyLines(qint64 total)
{
    return ControlError(ControlError::Overflow,
                        QStringLiteral("Overflow: %1 lines are more than a program can hold (%2)").arg(total).arg(INT_MAX));
}

} // namespace

Program::Program()
    : instance(QCoreApplication::applicationPid()), m_journalWriter(std::make_unique<JournalWriter>())
{
}
Program::~Program() = default;

void Program::setLineCount(qint64 total)
{
    m_lineCount = total;
    emit lineCountChanged(total);
}

ControlError Program::lineTooLong(LineNumber line, qint64 length, const QString &remedy) const
{
    return ControlError(ControlError::BadRecordLength,
                        QStringLiteral("Bad record length: line %1 has %2 characters, but a record of %3 bytes holds "
                                       "at most %4. ")
                                .arg(line.value)
                                .arg(length)
                                .arg(recordLength)
                                .arg(recordLength - 2) +
                            remedy);
}

StoreClaim Program::useStores(const QString &folder, const QString &stem)
{
    const QDir dir(folder);
    store = dir.filePath(stem + QStringLiteral(".qen.tmp"));
    scratch = dir.filePath(stem + QStringLiteral(".2.qen.tmp"));
    return StoreClaim::claim(store);
}

void Program::removeStores()
{
    m_journalWriter->drop();
    m_history.clear();
    removeStoreFiles(store, scratch);
    setChanged(false);
}

void Program::removeStoreFiles(const QString &store, const QString &scratch)
{
    if (store.isEmpty())
        return;
    // A link planted in the history's place goes itself; what it points at is never emptied.
    const QString history = History::folderFor(store);
    if (QFileInfo(history).isSymLink())
        QFile::remove(history);
    else
        QDir(history).removeRecursively();
    for (const char *end : {".path", ".path.tmp"}) QFile::remove(store + QLatin1String(end)); // the toolpath file
    QFile::remove(store);
    QFile::remove(scratch);
    // The journal goes last: while it is there, what it describes can still be found.
    QFile::remove(ProgramJournal::pathFor(store));
}

void Program::setChanged(bool changed)
{
    if (m_changed == changed)
        return;
    m_changed = changed;
    emit changedStateChanged(changed);
}

ProgramJournal Program::journal() const
{
    ProgramJournal j;
    j.program = path;
    j.lines = m_lineCount;
    j.recordLength = recordLength;
    j.lfEndsLine = lfEndsLine;
    j.changed = m_changed;
    j.changedAt = m_changedAt;
    j.instance = instance;
    j.lineEnd = loadedEnd;
    j.lastEnded = loadedLastEnded;
    return j;
}

void Program::writeJournal()
{
    // A journal still waiting for its store to be flushed says less than this one.
    m_journalWriter->drop();
    if (store.isEmpty() || path.isEmpty())
        return;
    try {
        journal().write(ProgramJournal::pathFor(store));
    } catch (const ControlError &) {
        // Without a journal the changes cannot be offered back after a crash; the program itself
        // is as it should be.
    }
}

void Program::markChanged()
{
    if (path.isEmpty())
        return;
    setChanged(true);
    m_changedAt = QDateTime::currentDateTime();
    m_journalWriter->post(store, journal());
}

void Program::finishJournal()
{
    m_journalWriter->finish();
}

void Program::recover(const ProgramJournal &j, QString &lost, const ProgressReport &progress)
{
    const qint64 before = m_lineCount;
    recordLength = j.recordLength;
    lfEndsLine = j.lfEndsLine;
    // Saved, the program ends its lines as its file did.
    loadedEnd = j.lineEnd;
    loadedLastEnded = j.lastEnded;
    m_history.clear();
    LineStore in;
    in.open(store, recordLength, false);
    qint64 readable = std::min(j.lines, in.recordCount());
    // Every record is read once: the first one whose count is damaged ends what can be offered.
    try {
        in.forEachRecord(LineNumber(1), readable, [&](LineNumber record, QByteArrayView) {
            if (progress && (record.value % kReportEvery) == 0)
                progress(record.value, readable);
        });
    } catch (const ControlError &) {
        qint64 good = 0;
        for (qint64 step = qint64(1) << 40; step > 0; step >>= 1) {
            // The last readable record, found by halving: records up to it all read.
            const qint64 probe = good + step;
            if (probe > readable)
                continue;
            try {
                in.forEachRecord(LineNumber(good + 1), probe - good, [](LineNumber, QByteArrayView) {});
                good = probe;
            } catch (const ControlError &) {
            }
        }
        readable = good;
    }
    in.close();
    lost.clear();
    if (readable < j.lines)
        lost = QStringLiteral("Lines %1 to %2 could not be read from the line store and are left out.")
                   .arg(readable + 1)
                   .arg(j.lines);
    path = j.program;
    setLineCount(readable);
    tellReplaced(before);
    setChanged(true);
    m_changedAt = j.changedAt.isValid() ? j.changedAt : QDateTime::currentDateTime();
    writeJournal();
    emit loaded();
}

// ---------------------------------------------------------------- loading and saving

void Program::load(const QString &file, const ProgressReport &progress)
{
    int step = 40;
    // Loaded or not, the lines that were there are gone.
    const qint64 before = m_lineCount;
    const auto replaced = qScopeGuard([this, before]() { tellReplaced(before); });
    try {
        path.clear();
        setLineCount(0);
        removeStores();
        step = 60;
        LineEnds ends;
        const qint64 total = LineReader::countLines(file, lfEndsLine, &ends);
        const QByteArray uniform = ends.uniform();
        loadedEnd = uniform.isEmpty() ? QByteArray("\r\n") : uniform;
        loadedLastEnded = ends.lastEnded;
        if (total > INT_MAX)
            throw tooManyLines(total);
        step = 70;
        copyIn(file, total, progress);
        path = file;
        setLineCount(total);
        setChanged(false);
        writeJournal();
        emit loaded();
    } catch (ControlError &error) {
        // Nothing half-loaded is presented as loaded.
        removeStores();
        error.at(QStringLiteral("LoadFile"), step);
        throw;
    }
}

void Program::copyIn(const QString &file, qint64 total, const ProgressReport &progress)
{
    int step = 10;
    try {
        QFile::remove(store);
        step = 20;
        LineReader reader(file, lfEndsLine, std::max(0, maxLineLength()));
        LineStore out;
        out.open(store, recordLength);
        step = 30;
        QByteArrayView line;
        qint64 length = 0;
        qint64 done = 0;
        while (reader.next(line, length)) {
            if (length > maxLineLength())
                throw lineTooLong(LineNumber(done + 1), length,
                                  QStringLiteral("Raise the record length to at least %1 before loading this file.")
                                      .arg(length + 2));
            out.write(LineNumber(done + 1), line);
            ++done;
            if (progress && (done % kReportEvery) == 0)
                progress(done, total);
        }
        step = 40;
        out.close();
        if (progress)
            progress(total, total);
    } catch (ControlError &error) {
        error.at(QStringLiteral("Conve2"), step);
        throw;
    }
}

namespace {

// The path as it stands on disk: its folder's links resolved.
QString onDisk(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

void Program::refuseOwnFile(const QString &file) const
{
    if (store.isEmpty())
        return;
    const QString target = onDisk(file);
    const QString journalFile = ProgramJournal::pathFor(store);
    const QStringList own{store, scratch, journalFile, journalFile + QStringLiteral(".new"),
                          StoreClaim::lockPathFor(store)};
    bool refused = target.startsWith(onDisk(History::folderFor(store)) + QLatin1Char('/'));
    for (const QString &name : own)
        refused = refused || target == onDisk(name) || sameFile(file, name);
    if (refused)
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("%1 is one of the files the open program is kept in while it is edited; a "
                                          "program is never saved there. Nothing was saved")
                               .arg(QDir::toNativeSeparators(file)));
}

void Program::save(const QString &file, const ProgressReport &progress)
{
    int step = 60;
    SafeFile out(file);
    try {
        refuseOwnFile(file);
        const qint64 total = m_lineCount;
        LineStore in;
        if (total > 0) {
            in.open(store, recordLength, false);
            if (in.recordCount() < total)
                throw ControlError(ControlError::BadRecordLength,
                                   QStringLiteral("Bad record length: the line store holds %1 of the program's %2 "
                                                  "lines; nothing was saved")
                                       .arg(in.recordCount())
                                       .arg(total));
        }
        // Unbuffered: every write meets the disk as it is made, so a failing one is seen here and
        // not lost in a buffer that commit() would flush without saying it failed.
        if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw saveError(out);
        step = 70;
        const QByteArray end = saveEnds == SaveEnds::AsLoaded ? loadedEnd
                               : saveEnds == SaveEnds::Lf     ? QByteArray("\n")
                                                              : QByteArray("\r\n");
        const bool endLast = saveEnds != SaveEnds::AsLoaded || loadedLastEnded;
        QByteArray buffer;
        buffer.reserve(2 << 20);
        qint64 done = 0;
        if (total > 0) {
            in.forEachRecord(LineNumber(1), total, [&](LineNumber record, QByteArrayView text) {
                buffer.append(text.data(), text.size());
                if (endLast || record.value < total)
                    buffer.append(end);
                if (buffer.size() >= (1 << 20)) {
                    if (out.write(buffer) != buffer.size())
                        throw saveError(out);
                    buffer.resize(0);
                }
                ++done;
                if (progress && (done % kReportEvery) == 0)
                    progress(done, total);
            });
        }
        if (progress)
            progress(total, total);
        if (!buffer.isEmpty() && out.write(buffer) != buffer.size())
            throw saveError(out);
        step = 80;
        in.close();
        if (!out.commit())
            throw saveError(out);
        setChanged(false);
        writeJournal();
    } catch (ControlError &error) {
        out.cancelWriting();
        error.at(QStringLiteral("SaveFile"), step);
        throw;
    }
}

// ---------------------------------------------------------------- reading and writing lines

QList<QByteArray> Program::readLines(LineNumber first, qint64 count) const
{
    count = std::min(count, m_lineCount - first.value + 1);
    if (count <= 0)
        return {};
    LineStore in;
    in.open(store, recordLength, false);
    QList<QByteArray> lines = in.readRange(first, count);
    in.close();
    return lines;
}

void Program::openStore(LineStore &out, qint64 needed) const
{
    out.open(store, recordLength, false);
    if (out.recordCount() < needed)
        throw ControlError(ControlError::BadRecordLength,
                           QStringLiteral("Bad record length: the line store holds %1 of the program's %2 lines")
                               .arg(out.recordCount())
                               .arg(m_lineCount));
}

void Program::replaceLines(LineNumber first, qint64 replaced, const QList<QByteArray> &lines)
{
    const qint64 total = m_lineCount;
    const qint64 n = lines.size();
    const qint64 newTotal = total - replaced + n;
    if (newTotal > INT_MAX)
        throw tooManyLines(newTotal);
    for (qint64 i = 0; i < n; ++i) {
        if (lines.at(i).size() > maxLineLength())
            throw lineTooLong(first + i, lines.at(i).size(), QStringLiteral("Shorten the line."));
    }
    const LineNumber restFrom = first + replaced;
    const qint64 restCount = std::max<qint64>(0, total - restFrom.value + 1);
    LineStore out;
    out.open(store, recordLength);
    // Once the store is written to, listeners hear of it: of these lines, or of every line when
    // the writing failed part way.
    bool done = false;
    const auto told = qScopeGuard([&]() {
        if (done)
            emit linesChanged(first.value, replaced, n);
        else
            tellReplaced(total);
    });
    if (n > replaced)
        out.reserve(newTotal);
    out.moveRecords(restFrom, restCount, first + n);
    for (qint64 i = 0; i < n; ++i)
        out.write(first + i, lines.at(i));
    if (n < replaced)
        out.truncate(newTotal);
    out.close();
    if (newTotal != total)
        setLineCount(newTotal);
    done = true;
}

// ---------------------------------------------------------------- a program rebuilt aside

ProgramRebuild::ProgramRebuild(Program &program)
    : m_program(program), m_store(std::make_unique<LineStore>()), m_source(std::make_unique<LineStore>())
{
    // The scratch store is written over where it stands: what the last rebuild left there (the
    // program before it) already has its room on the disk, which makes writing it much cheaper
    // than filling a new file. Every record up to the new line count is written, and commit() cuts
    // off the rest.
    m_store->open(program.scratch, program.recordLength);
}

ProgramRebuild::~ProgramRebuild()
{
    if (m_done)
        return;
    try {
        m_store->close();
    } catch (const ControlError &) {
        // The scratch store goes anyway.
    }
    QFile::remove(m_program.scratch);
}

void ProgramRebuild::copyLines(LineNumber first, qint64 count)
{
    if (count <= 0)
        return;
    if (!m_source->isOpen()) {
        m_source->open(m_program.store, m_program.recordLength, false);
        m_sourceRecords = m_source->recordCount();
    }
    // Lines past the end of the store's file are empty; their records are written as such.
    const qint64 stored = std::clamp<qint64>(m_sourceRecords - first.value + 1, 0, count);
    LineStore::copyRecords(*m_source, first, stored, *m_store, LineNumber(m_count + 1));
    for (qint64 i = stored; i < count; ++i)
        m_store->write(LineNumber(m_count + 1 + i), QByteArrayView());
    m_count += count;
}

void ProgramRebuild::appendLine(QByteArrayView line)
{
    if (line.size() > m_program.maxLineLength())
        throw m_program.lineTooLong(LineNumber(m_count + 1), line.size(), QStringLiteral("Shorten the line."));
    m_store->write(LineNumber(m_count + 1), line);
    ++m_count;
}

void ProgramRebuild::commit()
{
    m_source->close();
    m_store->truncate(m_count);
    m_store->close();
    const QByteArray scratch = QFile::encodeName(m_program.scratch);
    const QByteArray store = QFile::encodeName(m_program.store);
    // A change being recorded keeps the old store whole, moved aside for the history; nothing is copied.
    const QString keeper = m_program.recording() ? m_program.recording()->storeKeeper() : QString();
    if (!keeper.isEmpty()) {
        if (std::rename(store.constData(), QFile::encodeName(keeper).constData()) != 0)
            throw ControlError::fromErrno(errno, m_program.store);
        if (std::rename(scratch.constData(), store.constData()) != 0) {
            const int err = errno;
            std::rename(QFile::encodeName(keeper).constData(), store.constData());
            throw ControlError::fromErrno(err, m_program.store);
        }
    } else if (::renameat2(AT_FDCWD, scratch.constData(), AT_FDCWD, store.constData(), RENAME_EXCHANGE) != 0) {
        // Otherwise the two stores change places in one step, so the program's store is whole at
        // every moment; the old one stays as the scratch store for the next rebuild. (Renaming over
        // the old store would have the file system write the whole new one out first.) Where the
        // file system cannot exchange two names, the new store is renamed over the old one.
        if ((errno != EINVAL && errno != ENOSYS && errno != ENOENT) || std::rename(scratch.constData(), store.constData()) != 0)
            throw ControlError::fromErrno(errno, m_program.store);
    }
    m_done = true;
    const qint64 before = m_program.lineCount();
    m_program.setLineCount(m_count);
    m_program.tellReplaced(before);
}

} // namespace tessarc
