#include "sendtransfer.h"

#include "sendframing.h"

#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>

namespace comm {

namespace {

// Lines read from the store at a time.
constexpr qint64 kBatchLines = 256;
// The longest stretch of lines handed over before the event loop gets its turn.
constexpr qint64 kSliceMs = 20;

} // namespace

QString SendTransfer::flyPrompt()
{
    return QStringLiteral("Enter text to appened to the end of the next sent line.");
}

QString SendTransfer::flyTitle()
{
    return QStringLiteral("Edit On The Fly");
}

SendTransfer::SendTransfer(MachineProfile profile, PortMap ports, SendJob job, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_job(std::move(job)),
      m_own(std::make_unique<SerialPort>(std::move(ports))), m_line(m_own.get())
{
    connectLine();
}

SendTransfer::SendTransfer(MachineProfile profile, SerialPort &line, SendJob job, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_job(std::move(job)), m_line(&line)
{
    connectLine();
}

void SendTransfer::connectLine()
{
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &SendTransfer::pump);
    // The port's queue gave bytes to the device: there may be room for the next line.
    connect(m_line, &SerialPort::outputTaken, this, &SendTransfer::pump, Qt::QueuedConnection);
    connect(m_line, &SerialPort::failed, this,
            [this](int number, const QString &description) { fail(ControlError(number, description)); });
}

SendTransfer::~SendTransfer()
{
    if (running())
        letGo(true);
    else if (m_own)
        m_own->setPortOpen(false);
    m_store.close();
}

void SendTransfer::letGo(bool drop)
{
    if (m_own)
        m_own->setPortOpen(false);
    else if (drop)
        m_line->discardOutput();
}

void SendTransfer::start()
{
    if (m_phase != Phase::Idle)
        return;
    m_phase = Phase::Lines;
    m_next = m_job.first;
    try {
        if (m_own)
            m_own->setLine(m_profile.handshake, m_profile.settings, m_profile.comPort);
        else
            m_line->requireOpen();
        if (!m_job.program)
            throw ControlError(ControlError::FileNotFound, QStringLiteral("No program to send"));
        m_job.program->openStore(m_store);
        if (m_own)
            m_own->setPortOpen(true);
        m_line->output(sendHeader(m_profile, programNameOnWire(m_job.programFile)));
    } catch (const ControlError &error) {
        // Reported from the event loop, so that the caller has returned from start() first.
        letGo(true);
        m_store.close();
        const QString text = errorText(error);
        QMetaObject::invokeMethod(
            this, [this, text] { finish(TransferResult::Outcome::Failed, text); }, Qt::QueuedConnection);
        return;
    }
    m_wake.start(0);
}

void SendTransfer::cancel()
{
    if (!running())
        return;
    letGo(true);
    finish(TransferResult::Outcome::Cancelled);
}

void SendTransfer::editOnTheFly()
{
    if (m_phase != Phase::Lines || m_asking || !m_questions)
        return;
    m_asking = true;
    const QPointer<SendTransfer> alive(this);
    const std::optional<QString> answer = m_questions->askFlyText(flyPrompt(), flyTitle());
    if (!alive)
        return;
    m_asking = false;
    if (answer)
        appendFlyText(answer->toLatin1());
    if (running())
        m_wake.start(0);
}

void SendTransfer::appendFlyText(const QByteArray &text)
{
    if (m_phase == Phase::Lines)
        m_fly += text;
}

bool SendTransfer::nextLine(QByteArray &line)
{
    if (m_batchAt >= m_batch.size()) {
        const qint64 count = std::min(kBatchLines, m_job.last - m_next + 1);
        m_batch = m_store.readRange(tessarc::LineNumber(m_next), count);
        m_batchAt = 0;
        if (m_batch.isEmpty())
            return false;
    }
    line = m_batch[m_batchAt++];
    return true;
}

// Hands over lines while fewer than 128 characters wait, for one slice of time at most; then
// drains, sends the end text, drains again and closes. Returns whenever it has to wait.
void SendTransfer::pump()
{
    if (!running() || m_inPump || m_asking)
        return;
    m_inPump = true;
    try {
        QElapsedTimer slice;
        slice.start();
        QByteArray line;
        while (m_phase == Phase::Lines) {
            if (m_next > m_job.last) {
                m_phase = Phase::DrainBeforeEnd;
                break;
            }
            if (m_line->outBufferCount() >= kOutputWaitLimit) {
                waitForRoom();
                m_inPump = false;
                return;
            }
            if (!nextLine(line))
                throw ControlError(ControlError::DeviceIoError,
                                   QStringLiteral("Line %1 cannot be read from the line store.").arg(m_next));
            ++m_next;
            ++m_sent;
            QString caption = sendCaption(m_sent, total(), m_job.percentFormat);
            if (caption != m_caption) {
                m_caption = std::move(caption);
                emit progress(m_caption);
                if (!running()) { // a receiver of the signal cancelled
                    m_inPump = false;
                    return;
                }
            }
            m_out.resize(0);
            appendSendLine(m_out, line, m_fly, m_profile.eob);
            m_fly.clear();
            m_line->output(m_out);
            if (slice.elapsed() >= kSliceMs) {
                m_wake.start(0);
                m_inPump = false;
                return;
            }
        }
        if (m_phase == Phase::DrainBeforeEnd) {
            if (m_line->outBufferCount() > 0) {
                waitForRoom();
                m_inPump = false;
                return;
            }
            m_line->output(sendTrailer(m_profile));
            m_phase = Phase::DrainAfterEnd;
        }
        if (m_phase == Phase::DrainAfterEnd) {
            if (m_line->outBufferCount() > 0) {
                waitForRoom();
                m_inPump = false;
                return;
            }
            letGo(false);
            m_inPump = false;
            finish(TransferResult::Outcome::Done);
            return;
        }
    } catch (const ControlError &error) {
        m_inPump = false;
        fail(error);
        return;
    }
    m_inPump = false;
}

// Waiting for output to leave: the port's own queue reports through outputTaken(); the driver's queue
// (a real port's transmit buffer, a held XOFF) reports nothing, so a timer looks again after
// about the time 32 characters take on the line.
void SendTransfer::waitForRoom()
{
    m_wake.start(pollInterval());
}

int SendTransfer::pollInterval() const
{
    const int baud = std::max(1, m_line->lineSettings().baud);
    const int ms = 32 * 10 * 1000 / baud;
    return std::clamp(ms, 2, 50);
}

void SendTransfer::fail(const ControlError &error)
{
    if (!running())
        return;
    letGo(true);
    finish(TransferResult::Outcome::Failed, errorText(error));
}

void SendTransfer::finish(TransferResult::Outcome outcome, const QString &message)
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Ended;
    m_wake.stop();
    m_store.close();
    m_batch.clear();
    TransferResult result;
    result.outcome = outcome;
    result.message = message;
    result.count = m_sent;
    emit finished(result);
}

} // namespace comm
