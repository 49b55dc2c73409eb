#pragma once

#include "restartprogram.h"
#include "sendtransfer.h"

#include <QWidget>
#include <memory>
#include <optional>

class Host;
class OperationGuard;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace comm {
class MachinePicker;
}

// Send: sends the open program, or a range of its lines, to the chosen machine. The send runs
// from the event loop (comm::SendTransfer) under the operation lock with the view read-only; the
// Send button shows the percentage, Cancel and Edit On The Fly are there while it runs, and the
// window cannot be closed meanwhile. A failure is reported as "ERROR n: ..." and closes the window.
class frmSend : public QWidget, private comm::SendQuestions
{
    Q_OBJECT

public:
    explicit frmSend(Host &host, QWidget *parent = nullptr);
    ~frmSend() override;

    comm::MachinePicker *picker = nullptr; // m, MachineSpec, Label3, Text1, Command1
    QRadioButton *ALL = nullptr;           // "All Lines"
    QRadioButton *LINE2LINE = nullptr;     // "From Line"
    QLineEdit *StartLine = nullptr;
    QLabel *Label2 = nullptr;              // "to Line"
    QLineEdit *EndLine = nullptr;
    QRadioButton *RESTART = nullptr;       // "Start at Line": the restart program from that line
    QLineEdit *RestartLine = nullptr;
    QLabel *lblPass = nullptr;             // "pass"
    QLineEdit *RestartPass = nullptr;      // the how-manieth run of the line (in a loop or a call)
    QPushButton *Go = nullptr;             // "&Send"; the percentage while sending
    QPushButton *cq = nullptr;             // "&Cancel", while sending
    QPushButton *Command2 = nullptr;       // "Edit On The Fly", while sending

    // Fills the range from the program and the machine list, selecting the last used machine.
    void Form_Load();
    // With no program: the NOFILE text and the window closes; with no machine: the way to Manage Machines.
    void Form_Activate();
    // True while the window must not close (an operation runs).
    bool Form_QueryUnload() const;

    void Go_Click();
    void cq_Click();
    void Command2_Click();
    void Command1_Click();
    void StartLine_Change();
    void EndLine_Change();

    // The send of the last Send press, while the window has one.
    const comm::SendTransfer *transfer() const { return m_transfer.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<QString> askFlyText(const QString &prompt, const QString &title) override;
    void sendEnded(const comm::TransferResult &result);
    // Plans the restart from the Start at Line fields, shows it and, once the machinist agrees,
    // copies it into stores of its own; false when it is refused, stopped or declined (and said).
    bool prepareRestart(const comm::MachineProfile &profile, qint64 line, int pass);
    void showSending(bool sending);
    void say(const QString &text);

    Host &m_host;
    std::unique_ptr<comm::RestartCopy> m_restart; // what a send from a line sends
    std::unique_ptr<comm::SendTransfer> m_transfer;
    bool m_planning = false;     // a restart is being planned: Cancel stops it
    bool m_stopPlanning = false;
    std::unique_ptr<OperationGuard> m_guard;
    bool m_asking = false;       // Edit On The Fly's question is open
    bool m_closeWhenAsked = false; // the send failed while it was
};
