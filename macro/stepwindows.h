#pragma once

#include <QString>
#include <QStringList>

class Host;
class QWidget;

namespace tools {
class ToolWindow;
}

// The tool window behind each step name: how a step is recorded (its window opened with the macro
// editor as owner), tested (the menu's own window) and run (a window of the run's own).
namespace macro {

struct StepWindow
{
    const char *step;     // the step name
    const char *menuItem; // the menu item that shows the tool's own window
    tools::ToolWindow *(*make)(Host &host, QWidget *owner);
};

// The window of a step name; null for a name no window here runs.
const StepWindow *stepWindow(const QString &stepName);
// The step names a window here records and runs, in the order of the step-type list.
QStringList recordableSteps();

} // namespace macro
