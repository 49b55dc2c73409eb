#pragma once

#include "macrofile.h"
#include "runlog.h"
#include "tool.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace tools {
class StepForm;
}

namespace macro {

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
    // The step refused for `why`.
    StepResult &refuse(const QString &why);
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

// How the steps of a run are run: through the tool windows (Run Macro), or on the program itself
// (the command line).
class StepDriver
{
public:
    virtual ~StepDriver() = default;
    // Before the first step: false when the run is refused (it has been said why).
    virtual bool begin() = 0;
    // One step: how it ended, with its outcome, reason and note.
    virtual StepResult runStep(const MacroStep &step) = 0;
    // After the last step, however the run ended.
    virtual void end() = 0;
};

// Runs a macro on the open program, step after step, each step one ordinary run of its tool (its
// checks, one step of the undo history). A step that is refused or fails is logged so and the run
// goes on with the next one. Run Macro and the command line run macros with this.
class MacroRunner : public QObject
{
    Q_OBJECT

public:
    explicit MacroRunner(StepDriver &driver);

    // Asked before each step; true ends the run there.
    void setStopRequested(std::function<bool()> stop);
    bool running() const { return m_running; }

    // Runs the steps of a macro; nothing runs when the driver refuses the run.
    RunResult run(const QList<MacroStep> &steps);

signals:
    void stepStarted(int number, int count);
    void stepFinished(const macro::StepResult &result);

private:
    StepDriver &m_driver;
    std::function<bool()> m_stop;
    bool m_running = false;
};

// The tool that runs a step of `stepName`, made from the step read into its window's fields; null
// for a name that is no step.
using ToolFromStep = std::unique_ptr<tools::Tool> (*)(const tools::StepForm &form);
ToolFromStep stepTool(const QString &stepName);

// Steps run on the program itself, with no window: each step read as its window would be filled
// from it, its tool made from that and run on the program, as the window's Go runs it. The run
// holds the program's lock from its start to its end.
class ProgramSteps : public StepDriver
{
public:
    // `place`: the program and the rules of the run; `separator`: the step field separator.
    ProgramSteps(tools::RunPlace place, QString separator);

    bool begin() override;
    StepResult runStep(const MacroStep &step) override;
    void end() override;

    // Told of the progress of each step's run.
    tools::RunFeedback *feedback = nullptr;

private:
    tools::RunPlace m_place;
    QString m_separator;
};

} // namespace macro
