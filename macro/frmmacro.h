#pragma once

#include "macrofile.h"
#include "steprecorder.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class Host;
class QLabel;
class QListWidget;
class QPushButton;

namespace tools {
class ToolWindow;
}

// Create/ Edit Macro: the macros of the macro folder, and the steps of the one chosen in the list.
// Macros are added, removed and backed up; steps are added by filling in a tool window opened from
// here (its Go records the step instead of running), removed, moved up and down, copied with changed
// values, and tried on the open program. Every change is written to the macro's file at once and
// the steps are then read back from it, so the file is always what the list shows.
class frmMacro : public QWidget, public StepRecorder
{
    Q_OBJECT

public:
    explicit frmMacro(Host &host);
    ~frmMacro() override;

    QLabel *Label1 = nullptr;         // "Current Macros:           (Click To Edit)"
    QListWidget *c = nullptr;         // the macros
    QLabel *Label4 = nullptr;         // "<n> macros"
    QPushButton *Command1 = nullptr;  // "Add": a new macro
    QPushButton *Command2 = nullptr;  // "Remove": the chosen macro
    QPushButton *Command6 = nullptr;  // "Create Backup"
    QLabel *Label5 = nullptr;         // the name of the macro being edited
    QLabel *Label2 = nullptr;         // "Macro Instructions:"
    QListWidget *commands = nullptr;  // its steps: name (comment)
    QPushButton *Command3 = nullptr;  // "Add": a step
    QPushButton *Command4 = nullptr;  // "Remove": the chosen step
    QPushButton *Command7 = nullptr;  // "Up"
    QPushButton *Command8 = nullptr;  // "Down"
    QPushButton *Command5 = nullptr;  // "Copy With Options"
    QPushButton *Command9 = nullptr;  // "Test"
    QLabel *Label3 = nullptr;         // how Up and Down work

    // The macro being edited; empty when none is chosen.
    const QString &macroName() const { return m_macro; }
    // Its steps as last read from its file.
    const QList<macro::MacroStep> &steps() const { return m_steps; }

    // Fills the macro list (the macro being edited stays chosen while it exists).
    void Form_Load();
    // Chooses the macro `name` and reads its steps.
    void c_Click(const QString &name);
    void Command1_Click();
    void Command2_Click();
    void Command6_Click();
    void Command3_Click();
    void Command4_Click();
    void Command7_Click();
    void Command8_Click();
    void Command5_Click();
    void Command9_Click();

    // A tool window opened from here hands its step in: asks for a comment and adds the step at
    // the end of the macro being edited. When the step cannot be added (no macro chosen, a value a
    // step cannot hold, the file cannot be written) the machinist is told why and the tool window
    // stays open.
    void addStep(const QString &name, const QString &settings) override;

    // Opens the tool window of `stepName` for recording, owned by this window.
    tools::ToolWindow *recordStep(const QString &stepName);

private:
    void refreshList();
    void showSteps();
    // The chosen step's row; -1 when none is chosen.
    int chosenStep() const;
    // Rewrites the macro with `change` applied to the steps its file holds, then reads it back.
    void rewrite(const std::function<void(QList<macro::MacroStep> &)> &change);
    // The macro's file, read; nothing (the machinist told why) when it is gone or damaged.
    std::optional<QList<macro::MacroStep>> readChosen();
    // Fills `window` from the chosen step; false (the machinist told why) when the step does not fit.
    bool fillFromChosen(tools::ToolWindow &window);
    // A step that was not added is not lost: its tool window opens again, filled with its values.
    void keepRecorderOpen(const QString &name, const QString &settings);
    void say(const QString &text, const QString &title = QString());
    QString folder() const;

    Host &m_host;
    QString m_macro;
    QList<macro::MacroStep> m_steps;
};
