#pragma once

#include <QString>
#include <QTemporaryDir>

// Faults a file command can meet, made for real on this machine rather than pretended.

// A folder where no file can be created or replaced while this lives: its write permission is
// taken away, and for a user permissions do not stop (root) it is also marked immutable. ok()
// says whether the folder really refuses writes here.
class LockedFolder
{
public:
    explicit LockedFolder(const QString &path);
    ~LockedFolder();
    LockedFolder(const LockedFolder &) = delete;
    LockedFolder &operator=(const LockedFolder &) = delete;
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_ok = false;
};

// A folder on a small disk that fill() makes full: a memory file system of `bytes` bytes mounted
// there when this machine lets the test mount one, filled to the last byte; otherwise a file size
// limit of this whole process, so that no file can grow, which the file commands meet the same way.
class FullDisk
{
public:
    explicit FullDisk(qint64 bytes);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    // A path inside the folder.
    QString path(const QString &name) const;
    // From now on nothing more can be written there.
    void fill();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_limited = false;
};

// While it lives, no file of this process may grow past `bytes`: a write beyond fails as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    qint64 m_oldCurrent = 0;
    bool m_ok = false;
};
