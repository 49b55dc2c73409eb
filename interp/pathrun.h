#pragma once

#include "motion.h"
#include "toolpath.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace tessarc {
class Program;
}

namespace interp {

// What one pass over the program is to do, and what it did. Made on the window's thread, worked
// on a thread of its own: it holds copies of everything it needs and never touches the Program.
struct PathPass
{
    // In.
    QString store;
    int recordLength = 0;
    qint64 lines = 0;
    QString file; // the toolpath file
    Setup setup;
    int checkpointEvery = kCheckpointEvery;
    // A pass after changes: the file's run as it stands and the changes since it was made. Empty
    // `chunks` means a run over the whole program into a new file.
    std::vector<PathChunk> chunks;
    QList<PathEdit> edits;
    PathHeader base; // the header of the file's run that `chunks` come from
    std::atomic<bool> cancel{false};
    std::function<void(qint64 done, qint64 total)> progress; // called on the pass's thread

    // Out.
    bool ok = false;
    bool cancelled = false;
    QString message;
    bool incremental = false;
    qint64 linesFollowed = 0; // steps of the interpreter
    qint64 chunksWritten = 0;
    qint64 chunksKept = 0;
    qint64 moves = 0;
    qint64 findings = 0;
    double seconds = 0.0;
    // What is written but not yet in force: the header to put at the file's start, and the file
    // (for a whole run, a new file beside the toolpath file that then takes its place).
    int fd = -1;
    QString written;
    qint64 oldEnd = 0; // after changes: where the file ended before the pass
    PathHeader result;

    void run();
    // Puts what the pass wrote in force; false with `message` set when that fails.
    bool commit();
    // Drops what the pass wrote: the file is as it was before the pass.
    void discard();
};

// Keeps a program's toolpath file current: follows the whole program on a thread of its own when
// it is started or another program is loaded, and after every change of the program follows it
// again from the checkpoint before the changed lines until its state agrees with the run before.
// Lives on the window's thread; progress and the end of every run come there as signals.
class PathRun : public QObject
{
    Q_OBJECT

public:
    explicit PathRun(tessarc::Program &program, Setup setup = {}, QObject *parent = nullptr);
    ~PathRun() override;

    // Follows the program: after changes from where they begin when the file holds a complete run,
    // else (or when `whole`) the whole program into a new file.
    void start(bool whole = false);
    // Stops the run under way within a block of lines. The file keeps the last complete run, which
    // is then no longer current.
    void cancel();
    bool isRunning() const { return m_pass != nullptr; }
    // Whether the toolpath file describes the program as it stands.
    bool isCurrent() const { return m_current; }
    // The last complete run (reopened after each run).
    const Toolpath &toolpath() const { return m_toolpath; }
    QString file() const;
    void setCheckpointEvery(int lines) { m_checkpointEvery = std::max(1, lines); }
    // The tool table and subroutine folder the runs follow the program with (and that the state
    // before a line is to be found with). Another setup makes the next run follow the whole
    // program, at once when one is open.
    const Setup &setup() const { return m_setup; }
    void setSetup(Setup setup);

    // What the last run that ended did.
    struct Report
    {
        bool complete = false;
        bool incremental = false;
        qint64 linesFollowed = 0;
        qint64 chunksWritten = 0;
        qint64 chunksKept = 0;
        qint64 moves = 0;
        qint64 findings = 0;
        double seconds = 0.0;
        QString message;
        // After changes: the run they were followed from (its header) and the changes, so that
        // what was made of that run can be brought up to date rather than made again. The chunks
        // the run kept stand where they stood in the file; those it wrote stand past its old end.
        PathHeader base;
        QList<PathEdit> edits;
    };
    const Report &report() const { return m_report; }

signals:
    void progress(qint64 done, qint64 total);
    // A run ended: `complete` when the toolpath file is current, else why not.
    void finished(bool complete, const QString &message);

private:
    void changed(qint64 first, qint64 removed, qint64 inserted);
    void schedule();
    void launch();
    void passEnded(quint64 generation);
    void tryCommit();
    void stopWorker();

    tessarc::Program &m_program;
    Setup m_setup;
    Toolpath m_toolpath;
    int m_checkpointEvery = kCheckpointEvery;
    qint64 m_lines = 0;         // the program's line count as the last change left it
    QList<PathEdit> m_edits;    // changes since the file's run
    bool m_whole = true;        // the next run follows the whole program
    bool m_current = false;
    bool m_wanted = false;      // a run is to start once the one under way has stopped
    bool m_scheduled = false;
    quint64 m_generation = 0;   // counts the changes
    quint64 m_passGeneration = 0;
    std::shared_ptr<PathPass> m_pass;
    std::thread m_worker;
    bool m_ended = false;       // the pass under way has ended, its result waits
    Report m_report;
};

} // namespace interp
