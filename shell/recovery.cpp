#include "recovery.h"

#include "instancelock.h"
#include "program.h"
#include "storeclaim.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace recovery {

QList<LeftStore> findLeftStores(const QString &folder, const std::function<bool(qint64)> &running, bool othersRunning)
{
    const QDir dir(folder);
    QList<LeftStore> found;
    for (const QString &name : dir.entryList({QStringLiteral("*.qen.tmp")}, QDir::Files, QDir::Name)) {
        // Scratch stores ("0.2.qen.tmp") go with their store.
        const QString stem = name.chopped(8);
        if (stem.contains(QLatin1Char('.')))
            continue;
        LeftStore left;
        left.store = dir.filePath(name);
        left.scratch = dir.filePath(stem + QStringLiteral(".2.qen.tmp"));
        const QString journalPath = tessarc::ProgramJournal::pathFor(left.store);
        if (QFileInfo::exists(journalPath)) {
            left.journal = tessarc::ProgramJournal::read(journalPath, &left.problem);
            if (left.journal && running(left.journal->instance))
                continue;
            // A store is written in whole records: one that is no whole number of the journal's
            // records is not the store the journal describes, and would come back garbled.
            const qint64 size = QFileInfo(left.store).size();
            if (left.journal && left.journal->recordLength > 0 && size % left.journal->recordLength != 0) {
                left.problem = QStringLiteral("its line store of %1 bytes is no whole number of records of the %2 "
                                              "bytes its journal gives, so the journal does not describe it")
                                   .arg(size)
                                   .arg(left.journal->recordLength);
                left.journal.reset();
            }
            if (!left.journal && othersRunning)
                continue; // it may be being written by an instance that runs
            if (!left.journal && left.problem.isEmpty())
                left.problem = QStringLiteral("its journal cannot be read");
        } else if (othersRunning) {
            continue;
        }
        found.append(left);
    }
    // Scratch stores whose store is gone are left over too.
    for (const QString &name : dir.entryList({QStringLiteral("*.2.qen.tmp")}, QDir::Files, QDir::Name)) {
        const QString store = dir.filePath(name.chopped(10) + QStringLiteral(".qen.tmp"));
        if (!QFileInfo::exists(store) && !othersRunning) {
            LeftStore left;
            left.store = store;
            left.scratch = dir.filePath(name);
            found.append(left);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const LeftStore &a, const LeftStore &b) {
        const QDateTime ta = a.journal ? a.journal->changedAt : QDateTime();
        const QDateTime tb = b.journal ? b.journal->changedAt : QDateTime();
        return ta < tb;
    });
    return found;
}

int clearUnchanged(const QString &folder, const InstanceLock &instance)
{
    int cleared = 0;
    const auto running = [&instance](qint64 pid) { return instance.isRunning(pid); };
    for (const LeftStore &left : findLeftStores(folder, running, instance.otherInstanceRunning())) {
        if (left.hasJournal() && !left.journal)
            continue; // damaged: a window sets it aside and says so
        if (left.holdsChanges())
            continue;
        const tessarc::StoreClaim claim = tessarc::StoreClaim::claim(left.store);
        if (!claim)
            continue; // its instance still runs
        tessarc::Program::removeStoreFiles(left.store, left.scratch);
        ++cleared;
    }
    return cleared + clearOrphans(folder);
}

int clearOrphans(const QString &folder)
{
    const QDir dir(folder);
    int cleared = 0;
    const QStringList patterns{QStringLiteral("*.qen.journal"), QStringLiteral("*.qen.journal.new"),
                               QStringLiteral("*.qen.history"), QStringLiteral("*.qen.lock")};
    for (const QString &name : dir.entryList(patterns, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = dir.filePath(name);
        const QString store = dir.filePath(name.left(name.indexOf(QLatin1String(".qen."))) + QStringLiteral(".qen.tmp"));
        // A journal cut short goes whatever its store; the rest only once their store is gone.
        const bool cutShort = name.endsWith(QLatin1String(".new"));
        if (!cutShort && QFileInfo::exists(store))
            continue;
        const tessarc::StoreClaim claim = tessarc::StoreClaim::claim(store);
        if (!claim)
            continue; // an instance that runs holds it
        if (name.endsWith(QLatin1String(".lock")))
            continue; // the claim, let go, takes its stale lock file with it
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path); // a link goes alone, never what it names
        ++cleared;
    }
    return cleared;
}

QString question(const tessarc::ProgramJournal &journal)
{
    const QString when = journal.changedAt.isValid()
                             ? QLocale().toString(journal.changedAt.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                             : QStringLiteral("an unknown time");
    return QStringLiteral("Recover the unsaved changes to ") + journal.program + QStringLiteral(" from ") + when +
           QStringLiteral("?");
}

QString setAside(const LeftStore &left)
{
    const QString kept = left.store + QStringLiteral(".damaged");
    QFile::remove(kept);
    if (!QFile::rename(left.store, kept))
        return QString();
    QFile::remove(left.scratch);
    QFile::remove(tessarc::ProgramJournal::pathFor(left.store));
    return kept;
}

} // namespace recovery
