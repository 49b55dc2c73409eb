#pragma once

#include "dncfiles.h"
#include "machineprofile.h"
#include "portmap.h"
#include "serialport.h"
#include "storeclaim.h"
#include "transferresult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QThread;

namespace tessarc {
class Program;
}

// One machine served by the DNC server: its port held open from start to stop (reopened every
// few seconds when it fails), and on it, in turn, the Receive and Send transfers of the windows.
// What the machine sends is captured as it comes; its first lines tell a request (then, after the
// request's delay, the program named is sent) from a program (then filed by its number once it
// ends, or kept as FAILED_... when it is cut short). Every event is one line of the log.
namespace comm {

class ReceiveTransfer;
class SendTransfer;

// Where a served machine's files are.
struct DncFolders
{
    QString programs; // requested programs
    QString received; // filed captures
    QString log;      // the machine's log file
    QString home;     // the program folder: where relative folders start, and the line stores of a send
};

// The folders of `machine` under the program folder, as its setup gives them: relative ones
// beneath the program folder, empty ones dnc/<machine>/ and dnc/<machine>/received/.
DncFolders dncFolders(const QString &programFolder, const QString &machine, const interp::DncSetup &setup);

class DncStation : public QObject
{
    Q_OBJECT

public:
    DncStation(MachineProfile profile, interp::DncSetup setup, PortMap ports, DncFolders folders,
               QString storeStem, QObject *parent = nullptr);
    ~DncStation() override;

    const QString &name() const { return m_profile.name; }
    // How programs sent are loaded: the record length and whether LF alone ends a line.
    void setLoading(int recordLength, bool lfEndsLine)
    {
        m_recordLength = recordLength;
        m_lfEndsLine = lfEndsLine;
    }
    // Makes the folders, opens the port and listens.
    void start();
    // Ends what runs (a send is cancelled as Cancel does; a capture that has begun is kept as
    // FAILED_...), closes the port, and says stopped().
    void stop();
    bool isStopped() const { return m_phase == Phase::Stopped; }
    // "idle", "receiving 1,234 characters", "sending O1234.nc 42.00%", "waiting for XON ...",
    // "port closed, reopening: ...", "stopped".
    const QString &state() const { return m_state; }

    // Seconds between tries to open a port that failed.
    static constexpr int kReopenSeconds = 3;

signals:
    // One event, as the log has it: "2026-12-08 14:02:11 MILL1: sent O1234.nc (1,204 lines, 3.2 s)".
    void logged(const QString &line);
    void stateChanged();
    void stopped();

private:
    enum class Phase { Closed, Listening, Delay, Loading, Sending, Stopped };
    enum class Heard { Nothing, Undecided, Request, Program };

    void log(const QString &text);
    void setState(const QString &state);
    bool openPort();
    void listen();
    void onCaptured(const QByteArray &text);
    void takeLine(QByteArrayView line);
    void onReceiveEnded(const TransferResult &result);
    void fileWhatArrived(const TransferResult &result, const QString &capture);
    void acceptRequest();
    void onDelayOver();
    void loadRequested();
    void onLoaded(const QString &failure);
    void onSendEnded(const TransferResult &result);
    void dropProgram();
    void portLost(const QString &why);
    void tryReopen();
    void watchSend();
    void afterTransfer(const QString &portFailure);
    void finishStop();

    MachineProfile m_profile;
    interp::DncSetup m_setup;
    DncFolders m_folders;
    QString m_storeStem;
    int m_recordLength = 500;
    bool m_lfEndsLine = true;
    SerialPort m_port;
    Phase m_phase = Phase::Closed;
    QString m_state;
    bool m_stopping = false;
    bool m_portLogged = false; // the port's failure is in the log; the tries after it are not

    // Listening.
    std::unique_ptr<ReceiveTransfer> m_receive;
    std::vector<std::unique_ptr<ReceiveTransfer>> m_kept; // captures that could not be filed
    QTimer m_quiet;
    Heard m_heard = Heard::Nothing;
    QByteArray m_head;    // the first lines, while they may still be a request
    int m_headLines = 0;
    QByteArray m_partial; // the line arriving now
    bool m_begun = false;
    bool m_endSeen = false;
    bool m_programEnded = false;

    // A request being served.
    DncRequest m_request;
    QString m_requested; // the program's file
    QTimer m_delay;
    std::unique_ptr<tessarc::Program> m_program;
    tessarc::StoreClaim m_claim;
    QThread *m_loader = nullptr;
    std::unique_ptr<SendTransfer> m_send;
    QElapsedTimer m_sendClock;
    QTimer m_watch;
    qint64 m_lastQueue = -1;
    qint64 m_lastSent = -1;
    int m_stuck = 0;
    QString m_caption;

    QTimer m_reopen;
};

} // namespace comm
