#pragma once

#include "linestore.h"
#include "program.h"
#include "machineprofile.h"
#include "portmap.h"
#include "serialport.h"
#include "transferresult.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

// Sending a program, or a range of its lines, to a machine: driven by the event loop, never
// blocking it and never spinning. A line is handed to the port only while fewer than 128
// characters wait to go out (counting the driver's queue), so when the machine sends XOFF little
// is on its way; the send then waits as long as XOFF holds, until XON or Cancel.
namespace comm {

// What to send.
struct SendJob
{
    const tessarc::Program *program = nullptr; // what is sent: its line k is record k of its store
    qint64 first = 1;             // first and last line, from 1
    qint64 last = 0;
    QString programFile;          // the open program's file; its name goes out with the special protocol
    QString percentFormat = QStringLiteral("0.00"); // the picture of the progress caption
};

// The questions a send asks while it runs, answered by the window or the command line.
class SendQuestions
{
public:
    virtual ~SendQuestions() = default;
    // Edit On The Fly: text to append to the next sent line, or nothing when the answer is cancelled.
    virtual std::optional<QString> askFlyText(const QString &prompt, const QString &title) = 0;
};

class SendTransfer : public QObject
{
    Q_OBJECT

public:
    // On a port of its own, which start() sets up by the profile and opens, and the end closes.
    SendTransfer(MachineProfile profile, PortMap ports, SendJob job, QObject *parent = nullptr);
    // On a port that is open already and stays open (the DNC server's): the transfer never sets it
    // up, opens or closes it; Cancel and a failure drop what still waits to go out.
    SendTransfer(MachineProfile profile, SerialPort &line, SendJob job, QObject *parent = nullptr);
    // Drops what still waits and closes the port (its own) and the store, without a report.
    ~SendTransfer() override;

    // The answerer of the questions; none means Edit On The Fly asks nothing.
    void setQuestions(SendQuestions *questions) { m_questions = questions; }

    // Applies the profile to the port (handshake, settings, port number), opens the store and the
    // port, sends the header and starts the lines. A failure ends the send with an "ERROR" result;
    // finished() is never emitted from inside start(), so it may be connected before or after.
    void start();
    // Cancel: closes the port at once, dropping what waits (no end text), and ends as Cancelled.
    // Works in every wait, also while the machine holds XOFF. Nothing happens when not running.
    void cancel();
    // Edit On The Fly: asks for text and appends the answer to the text the next line carries
    // between its own text and the eob. No line is handed over while the question is open.
    void editOnTheFly();
    // Appends text for the next line directly, as an answer does.
    void appendFlyText(const QByteArray &text);

    bool running() const { return m_phase != Phase::Idle && m_phase != Phase::Ended; }
    qint64 sent() const { return m_sent; }
    qint64 total() const { return m_job.last - m_job.first + 1; }
    // The caption of the Send button now; empty before the first line.
    const QString &caption() const { return m_caption; }
    const SerialPort &port() const { return *m_line; }

    static QString flyPrompt();  // "Enter text to appened to the end of the next sent line."
    static QString flyTitle();   // "Edit On The Fly"

signals:
    // The Send button's caption changed ("33.33%").
    void progress(const QString &caption);
    // The send ended: Done after the last byte drained, Cancelled, or Failed with "ERROR n: ...".
    void finished(const comm::TransferResult &result);

private:
    enum class Phase { Idle, Lines, DrainBeforeEnd, DrainAfterEnd, Ended };

    void connectLine();
    // Done with the port: its own is closed; a lent one keeps its output unless `drop`.
    void letGo(bool drop);
    void pump();
    void waitForRoom();
    bool nextLine(QByteArray &line);
    void fail(const ControlError &error);
    void finish(TransferResult::Outcome outcome, const QString &message = QString());
    int pollInterval() const;

    MachineProfile m_profile;
    SendJob m_job;
    std::unique_ptr<SerialPort> m_own; // the transfer's own port, or none when it works on one lent to it
    SerialPort *m_line = nullptr;
    tessarc::LineStore m_store;
    SendQuestions *m_questions = nullptr;
    QTimer m_wake; // the next slice of lines, or the next look at a buffer that is draining
    Phase m_phase = Phase::Idle;
    bool m_inPump = false;
    bool m_asking = false;
    qint64 m_next = 0; // the next line to hand over
    qint64 m_sent = 0;
    QString m_caption;
    QByteArray m_fly;
    QByteArray m_out;
    QList<QByteArray> m_batch; // lines read ahead from the store
    qsizetype m_batchAt = 0;
};

} // namespace comm
