#pragma once

#include "controlerror.h"
#include "lineposition.h"
#include "tessarc_export.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace tessarc {

class Program;

// Where the old text of records rewritten in place goes while a change is recorded: of each record
// that changes, what it needs to be put back from its new text, a block at a time. A block's old
// text is on disk before the block itself is written, so whatever part of a change reached the
// store can be taken back.
class TESSARC_EXPORT RecordJournal
{
public:
    virtual ~RecordJournal() = default;
    // `record` held `old` and now holds `now`, which differ; their first `sharedStart` bytes are
    // the same. (A record that is the same is not handed over.)
    virtual void keep(LineNumber record, QByteArrayView old, QByteArrayView now, qsizetype sharedStart) = 0;
    // Everything kept so far goes to disk; throws when it cannot.
    virtual void flush() = 0;
    // What was kept so far is closed for writing: the journal's length with it (as mark() tells).
    virtual qint64 seal() = 0;
    // Writes what was sealed, up to `bytes` of the journal; throws when it cannot, and what it did
    // not write is written by the next call. It may run on another thread while keep() goes on,
    // one call at a time.
    virtual void writeUpTo(qint64 bytes) = 0;

    // Where the journal stands: how much it holds of what, as mark() tells it.
    struct Mark
    {
        qint64 bytes = 0;
        qint64 entries = 0;
        qint64 lastRecord = 0;
        qint64 firstKept = 0;
        qint64 lastKept = 0;
    };
    virtual Mark mark() const = 0;
    // Forgets what was kept after `mark`: the records it was kept for were never written. Not
    // while a writeUpTo() runs.
    virtual void cutTo(const Mark &mark) = 0;
};

// The changes of the open program that can be taken back and done again, kept on disk beside the
// line store (a folder of steps), never in memory: for a rewrite in place the old text of only the
// records it changed; for a page whose line count changed the page's old lines; for a change that
// rebuilt the program the old store itself, kept whole. Each step knows its name ("Operations",
// "Typing") and the page that was shown. Undoing a step records what it undoes, so it can be done
// again; a new change drops what could be done again. The oldest steps go when the history holds
// more steps, or more bytes, than its limits allow.
class TESSARC_EXPORT History : public QObject
{
    Q_OBJECT

public:
    explicit History(Program &program);
    ~History() override;

    // The folder of the steps: beside the store, named after it.
    QString folder() const;
    // The folder of the steps kept for the store at `store`.
    static QString folderFor(const QString &store);
    // At most `steps` steps and `bytes` bytes of them; 0 steps keeps none.
    void setLimits(int steps, qint64 bytes);
    int stepLimit() const { return m_stepLimit; }

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    QString undoName() const;
    QString redoName() const;
    qint64 bytesHeld() const;

    // Takes the last change back (does the last undone one again). The store and the line count are
    // as they were before it (after it), and the page then shown is given back. Throws ControlError
    // when the store or the step cannot be read or written; the step then stays where it was.
    LineNumber undo(const std::function<void(qint64, qint64)> &progress = {});
    LineNumber redo(const std::function<void(qint64, qint64)> &progress = {});

    // Forgets every step and deletes its files.
    void clear();

    // ---- Recording: used by ChangeRecord and the program's own changes ----
    enum class Kind { Records, Lines, Store };
    struct Step
    {
        QString name;
        Kind kind = Kind::Records;
        QString dir;           // the step's folder
        qint64 lineCount = 0;  // the line count to put back
        LineNumber page;       // the page shown when the step was taken
        LineNumber first;      // Lines: the first line replaced; Records: the first record kept
        LineNumber last;       // Records: the last record kept
        qint64 replaced = 0;   // Lines: how many lines stand there now
        qint64 bytes = 0;      // disk the step holds
    };

signals:
    // What can be undone or redone changed.
    void changed();

private:
    friend class ChangeRecord;
    Step newStep(const QString &name, Kind kind, LineNumber page);
    void push(Step step);
    Step apply(const Step &step, const std::function<void(qint64, qint64)> &progress);
    void dropStep(const Step &step);
    void trim();

    Program &m_program;
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    int m_stepLimit = 100;
    qint64 m_byteLimit = qint64(2048) << 20;
    qint64 m_serial = 0;
};

// One change of the program being recorded as a step of its history, from the start of the change
// to its end. Made before anything changes: when the history cannot be written (a full disk) it
// throws, so the change is refused before anything changed. At its end the step joins the history
// with whatever part of the change reached the store (a run stopped half-way can be taken back).
// A change that changed nothing leaves no step.
class TESSARC_EXPORT ChangeRecord
{
public:
    ChangeRecord(Program &program, const QString &name, LineNumber page);
    ~ChangeRecord();
    ChangeRecord(const ChangeRecord &) = delete;
    ChangeRecord &operator=(const ChangeRecord &) = delete;

    // For a rewrite in place: where the old text of changed records goes; null when no history is kept.
    RecordJournal *journal();
    // For a page whose line count changes: the lines that stood there, before they are replaced.
    void keepLines(LineNumber first, const QList<QByteArray> &old, qint64 replacedBy);
    // For a rebuilt program: the path the old store is to be moved to; empty when no history is kept.
    QString storeKeeper();
    // The change is over: the step joins the history (nothing happens twice).
    void finish();

private:
    friend class History;
    // Puts the step in the history when it kept anything; whether it did.
    bool keepStep();
    class Journal;
    Program &m_program;
    History::Step m_step;
    std::unique_ptr<Journal> m_journal;
    bool m_active = false;   // recording a step
    bool m_outer = false;    // the outermost change: it marks the program changed when it ends
    bool m_stepless = false; // no history is kept, so whether it changed anything is not known
    bool m_recorded = false;
};

} // namespace tessarc
