#pragma once

#include "programjournal.h"

class InstanceLock;

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// The line stores that instances which are gone left in the program folder, and what became of
// the changes in them.
namespace recovery {

struct LeftStore
{
    QString store;   // the line store ("0.qen.tmp")
    QString scratch; // its scratch store ("0.2.qen.tmp")
    std::optional<tessarc::ProgramJournal> journal; // what it holds, when its journal reads
    QString problem; // why its journal did not read (empty when it has none or it read)

    bool hasJournal() const { return journal.has_value() || !problem.isEmpty(); }
    // It holds changes that were never saved.
    bool holdsChanges() const { return journal && journal->changed; }
};

// The stores in `folder` whose instance is gone, oldest change first. A store with a journal
// belongs to the instance the journal names (`running` says whether it still runs); a store
// without one is left over only when no other instance runs (`othersRunning`).
QList<LeftStore> findLeftStores(const QString &folder, const std::function<bool(qint64)> &running, bool othersRunning);

// Clears the left stores of `folder` that hold no unsaved changes and that no running instance
// claims, and the orphans of stores that are gone (clearOrphans); stores with changes or a damaged
// journal stay for a window to offer. How many went.
int clearUnchanged(const QString &folder, const InstanceLock &instance);

// Clears what stores that are gone left beside them in `folder`: journals, journals cut short
// while being written, history folders and claims that nobody holds. Part of clearUnchanged.
int clearOrphans(const QString &folder);

// The question put for a store that holds changes.
QString question(const tessarc::ProgramJournal &journal);

// A store whose journal is damaged is kept under a name of its own, never offered again and never
// deleted unread: the path it now has, or an empty string when it could not be moved.
QString setAside(const LeftStore &left);

} // namespace recovery
