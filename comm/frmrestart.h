#pragma once

#include "restart.h"

#include <QWidget>

class Host;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace comm {

// Save Restart Program As...: the program that goes on from a line (the caret's, as the window
// opens), shown before it is written: the state in force there, the retract and the approach, or
// why there can be none. Its approach is drawn in the toolpath view while it is shown.
class frmRestart : public QWidget
{
    Q_OBJECT

public:
    explicit frmRestart(Host &host, QWidget *parent = nullptr);
    ~frmRestart() override;

    QLineEdit *txtLine = nullptr;
    QLineEdit *txtPass = nullptr;
    QComboBox *cboMachine = nullptr; // "(no machine)", then the machines
    QPushButton *cmdShow = nullptr;  // "&Show"; "Stop n%" while the restart is made
    QPlainTextEdit *txtRestart = nullptr;
    QPushButton *cmdSave = nullptr;  // "Save &As..."

    // The caret's line and the machines.
    void Form_Load();
    // Makes the restart from the fields and shows it; false when there is none (the reason shown).
    bool cmdShow_Click();
    // Makes the restart unless it is shown and current, asks for a file and writes it.
    void cmdSave_Click();
    const interp::RestartPlan &plan() const { return m_plan; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void programChanged();
    // The fields the shown restart was made from.
    QString request() const;

    Host &m_host;
    interp::RestartPlan m_plan;
    QString m_madeFrom; // request() of m_plan; empty when nothing current is shown
    bool m_running = false;
    bool m_stop = false;
};

} // namespace comm
