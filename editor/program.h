#pragma once

#include "controlerror.h"
#include "history.h"
#include "lineposition.h"
#include "operationlock.h"
#include "programjournal.h"
#include "tessarc_export.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace tessarc {

class LineStore;
class StoreClaim;

// Told how far a long store operation has come: `done` of `total` lines. It is called every
// thousand lines or so, often enough to draw progress and let events through, rarely enough to
// cost nothing.
using ProgressReport = std::function<void(qint64 done, qint64 total)>;

// The open program, free of any widget: where it comes from, the line store that holds its lines
// (line k is record k), the record length, the number of lines, and the work on the store:
// loading a file into it, saving it to a file, reading lines, and writing back a page whose line
// count may have changed. Every failure is thrown as a ControlError that names the routine and
// the step it reached.
class TESSARC_EXPORT Program : public QObject
{
    Q_OBJECT

public:
    Program();
    ~Program() override;

    QString path;             // the program's file; empty while none is open
    QString store;            // the line store
    QString scratch;          // the scratch store, for rebuilding the program aside
    int recordLength = 0;     // bytes a record of either store takes
    // How Save ends lines: CR LF always (the control's own way), or as the file had them when it
    // was loaded (one end that every line had; CR LF for mixed ends; no end after the last line
    // when it had none), or LF always.
    enum class SaveEnds { CrLf, AsLoaded, Lf };
    SaveEnds saveEnds = SaveEnds::CrLf;
    // The end of the lines of the file as loaded (CR LF when they were mixed), and whether its last
    // line had one.
    QByteArray loadedEnd = "\r\n";
    bool loadedLastEnded = true;
    bool lfEndsLine = true;   // a lone line feed ends a line when loading
    OperationLock lock;       // the system's busy flag

    bool isOpen() const { return !path.isEmpty(); }
    qint64 lineCount() const { return m_lineCount; }
    // Sets the number of lines; the store is not touched.
    void setLineCount(qint64 total);
    // For code that rewrote records of the store in place (opened with openStore): tells every
    // listener which lines changed.
    void tellRewritten(LineNumber first, qint64 count)
    {
        if (count > 0)
            emit linesChanged(first.value, count, count);
    }
    // Every line has changed: the program was replaced as a whole, which once had `before` lines.
    void tellReplaced(qint64 before) { emit linesChanged(1, before, m_lineCount); }
    // The most bytes a line may hold.
    int maxLineLength() const { return recordLength - 2; }

    // Loads `file` into fresh stores: counts its lines, then copies them in. Nothing half-loaded
    // stays: on a failure the stores are deleted and no program is open.
    void load(const QString &file, const ProgressReport &progress);
    // Writes the program to `file`, each line ended by CR LF, through a file beside it that
    // replaces it only once complete: a failed save leaves `file` as it was.
    void save(const QString &file, const ProgressReport &progress);
    // Throws when `file` is one of the program's own working files (its stores, history, journal
    // or claim): saving there would garble the program, and they are deleted when it closes.
    void refuseOwnFile(const QString &file) const;

    // Lines first ... first + count - 1, fewer where the program ends.
    QList<QByteArray> readLines(LineNumber first, qint64 count) const;
    // Opens `out` on the program's store, for a pass that reads its records or rewrites them where
    // they stand (the way tools, searches, printing and Send work on the program). A store that
    // holds fewer than `needed` records (it lost some of the program's lines) is refused rather
    // than read as empty lines. Throws ControlError.
    void openStore(LineStore &out, qint64 needed = 0) const;
    // The files that hold the program while it is open (its store and scratch store), which
    // nothing may be written over.
    QStringList storeFiles() const { return {store, scratch}; }
    // Puts `lines` where `replaced` lines from `first` stood. When the counts differ, the lines
    // after them move once, inside the store; room for a longer program is claimed before
    // anything moves, and every line is checked against the record length before anything is
    // written, so a refusal leaves the program as it was.
    void replaceLines(LineNumber first, qint64 replaced, const QList<QByteArray> &lines);

    // Deletes both stores, the history and the journal kept beside them.
    void removeStores();
    // Points the program at stores of its own in `folder`, `stem`.qen.tmp and its scratch store,
    // and claims them: the claim is the caller's to hold for as long as the stores are (one that
    // cannot be taken holds nothing, and a folder that cannot be written says so at the load).
    StoreClaim useStores(const QString &folder, const QString &stem);
    // Deletes a store that is no longer the program's, with its scratch store, history and journal.
    static void removeStoreFiles(const QString &store, const QString &scratch);

    // ---- Finding the changes again after a crash ----
    // Whether the program changed since it was loaded or saved.
    bool isChanged() const { return m_changed; }
    // A change of the program is over: it is marked changed, and the store's records are flushed
    // to disk and then the journal beside the store says so, away from the caller. Never throws:
    // the journal is a safety net.
    void markChanged();
    // Waits until the journal of the last change is written.
    void finishJournal();
    // The journal beside the store, as it would be written now.
    ProgramJournal journal() const;
    // Opens the store a journal describes as the program, changed and not yet saved. Every record
    // is read: a store that holds fewer lines than the journal says, or a damaged record, gives the
    // lines before it, and `lost` says what was left out. Throws when nothing can be opened.
    void recover(const ProgramJournal &journal, QString &lost, const ProgressReport &progress);
    // The process that owns the store (this one, unless a host says otherwise).
    qint64 instance = 0;

    // The changes that can be taken back and done again.
    History &history() { return m_history; }
    // The change being recorded now, if any.
    ChangeRecord *recording() const { return m_recording; }
    void setRecording(ChangeRecord *change) { m_recording = change; }

    // The error for a line that does not fit a record, naming the line and what to do about it.
    ControlError lineTooLong(LineNumber line, qint64 length, const QString &remedy) const;

signals:
    void lineCountChanged(qint64 total);
    // Another program has been loaded.
    void loaded();
    // The program became changed since it was loaded or saved, or saved again.
    void changedStateChanged(bool changed);
    // Lines first ... first + removed - 1 gave way to `inserted` lines that now stand there (a
    // rewrite in place has removed == inserted). Emitted once the change is in the store, for
    // every change: typing written back, each tool run, Insert File, Remove Lines, Replace, Paste,
    // Undo and Redo; a load, a recovery and a program closed change every line (first 1).
    void linesChanged(qint64 first, qint64 removed, qint64 inserted);

private:
    void copyIn(const QString &file, qint64 total, const ProgressReport &progress);

    void writeJournal();
    void setChanged(bool changed);

    qint64 m_lineCount = 0;
    bool m_changed = false;
    std::unique_ptr<JournalWriter> m_journalWriter;
    QDateTime m_changedAt;
    History m_history{*this};
    ChangeRecord *m_recording = nullptr;
};

// A new version of the program built aside, in the scratch store, and put in place whole: the
// program changes only when the new store is complete. Dropped without commit(), the scratch store
// is deleted and the program is exactly as it was. After commit() the scratch store holds the
// program as it was before.
class TESSARC_EXPORT ProgramRebuild
{
public:
    explicit ProgramRebuild(Program &program);
    ~ProgramRebuild();
    ProgramRebuild(const ProgramRebuild &) = delete;
    ProgramRebuild &operator=(const ProgramRebuild &) = delete;

    // Adds `count` lines of the program from `first` (block copies, by the kernel where it can).
    void copyLines(LineNumber first, qint64 count);
    // Adds one line; a line too long for a record is refused before anything is written.
    void appendLine(QByteArrayView line);
    qint64 lineCount() const { return m_count; }
    // Puts the new store in the program's place and sets the line count.
    void commit();

private:
    Program &m_program;
    std::unique_ptr<LineStore> m_store;
    std::unique_ptr<LineStore> m_source;
    qint64 m_sourceRecords = 0; // records the program's store holds
    qint64 m_count = 0;
    bool m_done = false;
};

} // namespace tessarc
