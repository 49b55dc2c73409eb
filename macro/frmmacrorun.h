#pragma once

#include "macrorunner.h"

#include <QWidget>

class Host;
class QLabel;
class QListWidget;
class QPushButton;

// Run Macro: the macros of the macro folder; Run Now runs the chosen one on the open program, step
// after step, with the step count on the button, and reports the times at the end. The window
// cannot be closed while a macro runs. Enter presses Run Now.
class frmMacroRun : public QWidget
{
    Q_OBJECT

public:
    explicit frmMacroRun(Host &host);
    ~frmMacroRun() override;

    QLabel *Label1 = nullptr;        // "Current Macros:"
    QListWidget *c = nullptr;        // the macros
    QLabel *Label4 = nullptr;        // "<n> macros"
    QLabel *Label2 = nullptr;        // "Running Macro", while a macro runs
    QPushButton *Command1 = nullptr; // "Run Now"; "k/N Running <name>" while a macro runs

    void Form_Load();
    void Command1_Click();
    macro::WindowRunner &runner() { return m_runner; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // Enter presses Run Now; Escape closes the window.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void say(const QString &text);

    Host &m_host;
    macro::WindowRunner m_runner;
    QString m_running; // the name of the macro that runs; empty when none
};
