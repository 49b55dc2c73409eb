#pragma once

#include "check.h"

#include <QWidget>

#include <vector>

class Host;
class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Check Program: every line of the open program checked against a machine's setup, in one pass
// of the interpreter. The findings are listed by line (a click shows the line in the editor, and
// the toolpath view marks its moves), the summary below them; while the check is current, the
// status strip tells where the caret's line falls in the run.
class frmCheck : public QWidget
{
    Q_OBJECT

public:
    explicit frmCheck(Host &host, QWidget *parent = nullptr);

    QComboBox *cboMachine = nullptr;   // "(no machine)", then the machines
    QPushButton *Go = nullptr;         // checks; while checking, stops the check
    QTreeWidget *lstFindings = nullptr;
    QPlainTextEdit *txtSummary = nullptr;

    void Form_Load();
    void Go_Click();

    const interp::CheckRun &lastRun() const { return m_run; }
    // Whether the last check still holds: none has run, or the program changed since.
    bool isCurrent() const { return m_current; }
    // "line 1,204,311: 0:41:07 of 1:02:10", or "" when no current check has timed the line.
    QString timeAtLine(qint64 line) const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showRun(const QString &programName);
    void findingClicked(QTreeWidgetItem *item);
    void programChanged();

    Host &m_host;
    interp::CheckRun m_run;
    bool m_current = false;
    bool m_running = false;
    bool m_stop = false;
};

namespace plot {
void registerCheckWindow(Host &host);
}
