#pragma once

#include "receivetransfer.h"

#include <QWidget>
#include <memory>

class Host;
class OperationGuard;
class QLabel;
class QPushButton;

namespace comm {
class MachinePicker;
}

// Receive: captures what the chosen machine sends into "tempdownload.txt" of the program folder,
// each of its ends of block turned into CR LF as it arrives (comm::ReceiveTransfer), counting the
// characters on screen. The stop button ends the capture and asks where to save it; the window
// then closes (or, once a capture is saved, offers to compare it with a program). One receive per
// opening of the window.
class frmReceive : public QWidget
{
    Q_OBJECT

public:
    explicit frmReceive(Host &host, QWidget *parent = nullptr);
    ~frmReceive() override;

    comm::MachinePicker *picker = nullptr; // m, MachineSpec, Label3, Text1, Command1
    QPushButton *Go = nullptr;             // "&Receive"; hidden once pressed
    QPushButton *Command2 = nullptr;       // the stop button, while receiving
    QLabel *lblProgress = nullptr;         // characters written to the capture so far
    QPushButton *cmdCompare = nullptr;     // "Compare With...", once a capture is saved

    void Form_Load();
    // With no machine: the way to Manage Machines.
    void Form_Activate();
    bool Form_QueryUnload() const;

    void Go_Click();
    void Command2_Click();
    void Command1_Click();
    // Compares the saved capture with a program (the open one unless another is chosen) and says
    // whether it is the same program, or how it differs and where first.
    void cmdCompare_Click();

    const comm::ReceiveTransfer *transfer() const { return m_transfer.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void receiveEnded(const comm::TransferResult &result);
    // The save dialog until a name is accepted (an existing file only when the machinist says so)
    // and the capture is copied there, or the dialog is cancelled.
    // Gives the file it was saved to; empty when it was not.
    QString saveCapture();
    void say(const QString &text);

    Host &m_host;
    std::unique_ptr<comm::ReceiveTransfer> m_transfer;
    std::unique_ptr<OperationGuard> m_guard;
    QString m_saved; // the capture, as saved
};
