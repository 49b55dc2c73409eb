#pragma once

#include "macrorun.h"

#include <memory>

class Host;
class QWidget;

namespace macro {

class StepHost;

// Steps run through their tool windows, as Run Macro runs them: each step's tool window opened on
// the program, filled from the step, its button pressed, and closed. The run holds the operation
// lock from its start to its end, giving it to each step's tool only for the press of its button,
// so nothing else loads, closes or changes the program between steps.
class WindowSteps : public StepDriver
{
public:
    // `owner`: the window the step windows belong to (the run window); null for the main window.
    explicit WindowSteps(Host &host, QWidget *owner = nullptr);
    ~WindowSteps() override;

    // Whether the tools' messages reach the machinist as when a tool is used by hand, or are only
    // collected into the results.
    void setShowMessages(bool show);

    // With no program open the NOFILE text is shown, once, and nothing runs.
    bool begin() override;
    StepResult runStep(const MacroStep &step) override;
    void end() override;

private:
    Host &m_host;
    QWidget *m_owner;
    std::unique_ptr<StepHost> m_stepHost;
};

// Made before the runner that drives it.
struct WindowStepsHolder
{
    WindowStepsHolder(Host &host, QWidget *owner) : steps(host, owner) {}
    WindowSteps steps;
};

// The runner of Run Macro: a macro run through the tool windows.
class WindowRunner : private WindowStepsHolder, public MacroRunner
{
public:
    explicit WindowRunner(Host &host, QWidget *owner = nullptr);
    WindowSteps &driver() { return steps; }
};

} // namespace macro
