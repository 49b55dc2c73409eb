#pragma once

#include "capturefile.h"
#include "eobreplacer.h"
#include "machineprofile.h"
#include "portmap.h"
#include "serialport.h"
#include "transferresult.h"

#include <QFile>
#include <QObject>
#include <QTimer>
#include <memory>

// Capturing a program a machine sends: driven by arriving characters. Each end of block of the
// profile becomes CR LF as the characters come (eobreplacer.h) and what is certain is appended to
// the capture file at once, so the file always holds what has arrived.
namespace comm {

class ReceiveTransfer : public QObject
{
    Q_OBJECT

public:
    // On a port of its own, which start() sets up by the profile and opens, and the end closes.
    ReceiveTransfer(MachineProfile profile, PortMap ports, QString capture, QObject *parent = nullptr);
    // On a port that is open already and stays open (the DNC server's): what waits in its input
    // when the receive starts is the capture's beginning, and the port is never closed.
    ReceiveTransfer(MachineProfile profile, SerialPort &line, QString capture, QObject *parent = nullptr);
    // Closes the port and the capture file, without a report.
    ~ReceiveTransfer() override;

    // For a capture without a window: the receive ends by itself when this many seconds pass with
    // nothing arriving once the first character has come. 0 (the default) waits for stop().
    void setIdleSeconds(int seconds) { m_idleSeconds = seconds; }

    // Applies the profile to the port, empties the capture file and opens the port. A failure ends
    // the receive with an "ERROR" result; finished() is never emitted from inside start().
    void start();
    // Stop: takes what has arrived, writes what was held back, closes the capture and the port,
    // and ends as Done, or as NothingReceived ("Nothing Received") when nothing was written.
    void stop();

    bool running() const { return m_running; }
    // Characters written to the capture so far.
    qint64 written() const { return m_written; }
    // The capture file: once started, the one claimed for this receive (see CaptureClaim).
    const QString &capture() const { return m_capturePath; }
    const SerialPort &port() const { return *m_line; }

    static QString nothingReceivedText(); // "Nothing Received"

signals:
    // Text just written to the capture, each end of block already CR LF.
    void captured(const QByteArray &text);
    // The number of characters written to the capture so far.
    void progress(qint64 written);
    // The receive ended: Done, NothingReceived, or Failed with "ERROR n: ..." (a port that fails
    // or cannot be opened, a capture that cannot be written). The capture file is complete and
    // closed in every case.
    void finished(const comm::TransferResult &result);

private:
    void connectLine();
    void take();
    void write(const QByteArray &text);
    void end(TransferResult::Outcome outcome, const QString &message);
    void fail(const ControlError &error);

    MachineProfile m_profile;
    QString m_capturePath;
    std::unique_ptr<SerialPort> m_own; // the transfer's own port, or none when it works on one lent to it
    SerialPort *m_line = nullptr;
    EobReplacer m_replacer;
    CaptureClaim m_claim; // held until the transfer goes, so that what it captured can be saved
    QFile m_file;
    QTimer m_idle;
    int m_idleSeconds = 0;
    bool m_running = false;
    bool m_ended = false;
    qint64 m_written = 0;
    bool m_anything = false; // a character has arrived
    bool m_captureFailed = false; // the capture file refused a write
};

} // namespace comm
