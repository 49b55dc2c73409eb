#pragma once

#include "macrofile.h"
#include "runlog.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Host;
class QWidget;

namespace macro {

class StepHost;

// How one step of a run ended.
struct StepResult
{
    int number = 0; // from 1
    int count = 0;  // steps in the macro
    MacroStep step;
    StepOutcome outcome = StepOutcome::Ran;
    QString reason; // why it refused or failed: what its tool (or the step filler) said
    QString note;   // what its tool said it did (without the time), when it ran
    qint64 ms = 0;
    // The step's line of the run log (it starts with CR LF).
    QString logLine() const;
};

struct RunResult
{
    // False when the run was refused before its first step (no program open, another operation
    // running); the machinist has been told why.
    bool started = false;
    // True when a stop was asked for before the last step; the steps after it did not run.
    bool stopped = false;
    QList<StepResult> steps;
    QDateTime startedAt;
    QDateTime endedAt;
    qint64 ms = 0;
    // Whether every step of the macro ran to its end.
    bool allRan(int stepCount) const;
    // Every step's log line, in order.
    QString runLog() const;
};

// Runs a macro on the open program, step after step: each step's tool window opened on the
// program, filled from the step, its button pressed, and closed; each step one ordinary run of its
// tool (its checks, the lock, one step of the undo history). The run holds the operation lock from
// its start to its end, giving it to each step's tool only for the press of its button, so nothing
// else loads, closes or changes the program between steps. A step that is refused or fails is
// logged so and the run goes on with the next one. Both the Run Macro window and the command line
// run macros with this.
class MacroRunner : public QObject
{
    Q_OBJECT

public:
    // `owner`: the window the step windows belong to (the run window); null for the main window.
    explicit MacroRunner(Host &host, QWidget *owner = nullptr);
    ~MacroRunner() override;

    // Whether the tools' messages reach the machinist as when a tool is used by hand (the window),
    // or are only collected into the results (the command line, which prints them itself).
    void setShowMessages(bool show);
    // Asked before each step; true ends the run there.
    void setStopRequested(std::function<bool()> stop);
    bool running() const { return m_running; }

    // Runs the steps of a macro. With no program open the NOFILE text is shown, once, and nothing
    // runs.
    RunResult run(const QList<MacroStep> &steps);

signals:
    void stepStarted(int number, int count);
    void stepFinished(const macro::StepResult &result);

private:
    StepResult runStep(int number, int count, const MacroStep &step);

    Host &m_host;
    QWidget *m_owner;
    std::unique_ptr<StepHost> m_stepHost;
    std::function<bool()> m_stop;
    bool m_running = false;
};

} // namespace macro
