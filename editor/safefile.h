#pragma once

#include "tessarc_export.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <optional>

namespace tessarc {

// A file written whole and safely, in place of QSaveFile: the bytes go to a temporary file beside
// the target, which takes the target's place only once every byte is out and on disk, so a failure
// leaves any old file as it was.
// - A target that is not a regular file (a folder, a device such as /dev/null, a FIFO) is refused,
//   never replaced; so is a read-only one. A link is followed: the file it names is written.
// - A file replaced keeps its mode, owner and group (as far as the user may set them), and its
//   other hard links: a file with several names is written over in place once the copy is whole.
// - A new file gets the mode the umask leaves of 0666.
// - errorString() says why in the system's own words ("No space left on device"), without the name.
class TESSARC_EXPORT SafeFile : public QIODevice
{
    Q_OBJECT

public:
    explicit SafeFile(const QString &target = QString(), QObject *parent = nullptr);
    ~SafeFile() override;

    QString fileName() const { return m_target; }
    // The target, before open().
    void setFileName(const QString &target) { m_target = target; }
    // Opens for writing (the mode must be WriteOnly, with Unbuffered or not).
    bool open(OpenMode mode) override;
    // Puts the file in place of the target; false (and the target as it was) when any write failed.
    bool commit();
    // Nothing is put in place: commit() then only removes the temporary file.
    void cancelWriting();
    // Whether the last failure was a full disk (or a file-size limit).
    bool diskFull() const { return m_diskFull; }

    // Replaces the file at `path` with `bytes` in one call: written unbuffered with every write
    // checked, so a full disk is noticed before anything is put in place. Nothing when it is done,
    // else why not in the system's words (the old file then as it was).
    static std::optional<QString> writeWhole(const QString &path, QByteArrayView bytes);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool fail(int error);
    void removeTemporary();

    QString m_target;
    QByteArray m_real;      // the file written: the target, or the file its link names
    QByteArray m_temporary; // the temporary file beside it
    int m_fd = -1;
    bool m_existed = false;
    bool m_hardLinked = false;
    bool m_failed = false;
    bool m_cancelled = false;
    bool m_diskFull = false;
};

} // namespace tessarc
