#pragma once

#include <QString>

// Tells whether another VORNEXA runs on the same program folder. Each running instance holds an
// exclusive lock on a file of its own in the folder's "instances" subfolder; the kernel drops the
// lock when the process ends, however it ends, so a crashed instance never counts as running.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &programFolder);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when a live instance other than this one holds its lock. Stale lock files are removed.
    bool otherInstanceRunning() const;
    // True when the instance of process `pid` still runs (this one does).
    bool isRunning(qint64 pid) const;

private:
    QString m_folder;
    QString m_ownPath;
    int m_fd = -1;
};
