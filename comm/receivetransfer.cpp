#include "receivetransfer.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace comm {

QString ReceiveTransfer::nothingReceivedText()
{
    return QStringLiteral("Nothing Received");
}

ReceiveTransfer::ReceiveTransfer(MachineProfile profile, PortMap ports, QString capture, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_capturePath(std::move(capture)),
      m_own(std::make_unique<SerialPort>(std::move(ports))), m_line(m_own.get()), m_replacer(m_profile.eob)
{
    connectLine();
}

ReceiveTransfer::ReceiveTransfer(MachineProfile profile, SerialPort &line, QString capture, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_capturePath(std::move(capture)), m_line(&line),
      m_replacer(m_profile.eob)
{
    connectLine();
}

void ReceiveTransfer::connectLine()
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &ReceiveTransfer::stop);
    connect(m_line, &SerialPort::received, this, [this] {
        try {
            take();
        } catch (const ControlError &error) {
            fail(error);
        }
    });
    connect(m_line, &SerialPort::failed, this,
            [this](int number, const QString &description) { fail(ControlError(number, description)); });
}

ReceiveTransfer::~ReceiveTransfer()
{
    if (m_own)
        m_own->setPortOpen(false);
    m_file.close();
}

void ReceiveTransfer::start()
{
    if (m_running || m_ended)
        return;
    m_running = true;
    try {
        if (m_own)
            m_own->setLine(m_profile.handshake, m_profile.settings, m_profile.comPort);
        else
            m_line->requireOpen();
        m_claim.claim(m_capturePath);
        m_capturePath = m_claim.path();
        if (!m_file.open(m_claim.handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            throw ControlError(ControlError::PathFileAccessError,
                               QStringLiteral("The capture %1 cannot be made: %2.").arg(m_capturePath, m_file.errorString()));
        if (m_own) {
            m_own->setPortOpen(true);
        } else {
            // What arrived before this receive began is its beginning.
            QMetaObject::invokeMethod(this, [this] {
                try {
                    take();
                } catch (const ControlError &error) {
                    fail(error);
                }
            }, Qt::QueuedConnection);
        }
    } catch (const ControlError &error) {
        if (m_own)
            m_own->setPortOpen(false);
        m_file.close();
        m_claim.release(); // nothing was captured: another receive may have the file
        const QString text = errorText(error);
        // Reported from the event loop, so that the caller has returned from start() first.
        QMetaObject::invokeMethod(
            this, [this, text] { end(TransferResult::Outcome::Failed, text); }, Qt::QueuedConnection);
    }
}

void ReceiveTransfer::take()
{
    if (!m_running)
        return;
    const QByteArray raw = m_line->input();
    if (raw.isEmpty())
        return;
    m_anything = true;
    if (m_idleSeconds > 0)
        m_idle.start(m_idleSeconds * 1000);
    write(m_replacer.feed(raw));
}

void ReceiveTransfer::write(const QByteArray &text)
{
    if (text.isEmpty())
        return;
    if (m_file.write(text) != text.size() || !m_file.flush()) {
        // What the file holds is what was captured, part of this text perhaps.
        const int error = errno;
        m_captureFailed = true;
        struct stat st {};
        if (::fstat(m_claim.handle(), &st) == 0)
            m_written = st.st_size;
        const bool full = m_file.error() == QFileDevice::ResourceError || error == ENOSPC || error == EFBIG;
        // In the system's words: the file's own text for a failed flush is "Unknown error".
        const QString why = error != 0 ? QString::fromLocal8Bit(std::strerror(error)) : m_file.errorString();
        throw ControlError(full ? ControlError::DiskFull : ControlError::DeviceIoError,
                           QStringLiteral("The capture %1 cannot be written: %2.").arg(m_capturePath, why));
    }
    m_written += text.size();
    emit captured(text);
    emit progress(m_written);
}

void ReceiveTransfer::stop()
{
    if (!m_running)
        return;
    try {
        take();
        write(m_replacer.finish());
    } catch (const ControlError &error) {
        fail(error);
        return;
    }
    if (m_own)
        m_own->setPortOpen(false);
    m_file.close();
    if (m_written == 0)
        end(TransferResult::Outcome::NothingReceived, nothingReceivedText());
    else
        end(TransferResult::Outcome::Done, QString());
}

void ReceiveTransfer::fail(const ControlError &error)
{
    if (!m_running)
        return;
    if (m_own)
        m_own->setPortOpen(false);
    // What was held back arrived too: it goes into the capture if the file still takes it.
    const QByteArray rest = m_replacer.finish();
    if (!m_captureFailed && m_file.isOpen() && m_file.write(rest) == rest.size() && m_file.flush())
        m_written += rest.size();
    m_file.close();
    end(TransferResult::Outcome::Failed, errorText(error));
}

void ReceiveTransfer::end(TransferResult::Outcome outcome, const QString &message)
{
    if (m_ended)
        return;
    m_running = false;
    m_ended = true;
    m_idle.stop();
    TransferResult result;
    result.outcome = outcome;
    result.message = message;
    result.count = m_written;
    result.captureFailed = m_captureFailed;
    emit finished(result);
}

} // namespace comm
