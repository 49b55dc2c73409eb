#pragma once

#include "tessarc_export.h"

#include <QString>

namespace tessarc {

// A running instance's hold on the line stores of one stem of the program folder ("3.qen.tmp",
// "3.2.qen.tmp", their history and journal): an exclusive lock on "3.qen.lock", held for as long
// as the claim lives and let go by the system when the process ends, however it ends. Whoever holds
// the claim owns the stores; nobody else writes, clears or offers them. A store whose claim can be
// taken has no running owner.
class TESSARC_EXPORT StoreClaim
{
public:
    StoreClaim() = default;
    ~StoreClaim();
    StoreClaim(StoreClaim &&other) noexcept;
    StoreClaim &operator=(StoreClaim &&other) noexcept;
    StoreClaim(const StoreClaim &) = delete;
    StoreClaim &operator=(const StoreClaim &) = delete;

    // The lowest numbered stem of `folder` that nobody holds and whose store does not exist, claimed.
    // Empty (not held) when the folder cannot be written.
    static StoreClaim claimFree(const QString &folder);
    // The claim on `store`'s stem, taken when no running instance holds it; empty when one does or
    // the lock cannot be made (a link stands in its place, the folder is not writable).
    static StoreClaim claim(const QString &store);

    bool held() const { return m_fd >= 0; }
    explicit operator bool() const { return held(); }
    QString store() const { return m_store; }
    QString scratch() const;
    // Lets go of the claim (the lock file goes too).
    void release();

    // The lock file of a store's stem.
    static QString lockPathFor(const QString &store);

private:
    int m_fd = -1;
    QString m_store;
};

} // namespace tessarc
