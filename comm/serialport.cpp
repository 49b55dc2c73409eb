#include "serialport.h"

#include "linespeed.h"

#include <QFileInfo>
#include <QMetaObject>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace comm {

namespace {

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QSerialPort::Parity qtParity(char letter)
{
    switch (letter) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

// The settings a Linux serial port cannot take, refused before anything is changed.
void requireLinuxCan(const LineSettings &s)
{
    if (s.dataBits == 4)
        throw ControlError(InvalidPropertyValue,
                           QStringLiteral("4 data bits cannot be set on a serial port of this system; "
                                          "choose 5, 6, 7 or 8 data bits."));
    if (s.stopBits == StopBits::OneAndHalf)
        throw ControlError(InvalidPropertyValue,
                           QStringLiteral("1.5 stop bits cannot be set on a serial port of this system; "
                                          "choose 1 or 2 stop bits."));
}

} // namespace

SerialPort::SerialPort(PortMap ports, QObject *parent) : QObject(parent), m_ports(std::move(ports))
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::received);
    connect(&m_writable, &QSocketNotifier::activated, this, &SerialPort::onWritable);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

SerialPort::~SerialPort()
{
    closePort();
}

void SerialPort::setHandshaking(int mode)
{
    if (mode < NoHandshake || mode > RtsCtsXonXoff)
        throw ControlError(InvalidPropertyValue,
                           QStringLiteral("The handshake %1 is not one of 0 (none), 1 (XON/XOFF), 2 (RTS) or "
                                          "3 (RTS and XON/XOFF).")
                               .arg(mode));
    const int before = m_handshaking;
    m_handshaking = mode;
    if (portOpen()) {
        try {
            applyLine();
        } catch (...) {
            m_handshaking = before;
            throw;
        }
    }
}

void SerialPort::setSettings(const QString &text)
{
    const LineSettings parsed = parseLineSettings(text);
    requireLinuxCan(parsed);
    const LineSettings before = m_settings;
    m_settings = parsed;
    if (portOpen()) {
        try {
            applyLine();
        } catch (...) {
            m_settings = before;
            throw;
        }
    }
}

void SerialPort::setCommPort(int port)
{
    if (!PortMap::validPort(port))
        throw ControlError(PortInvalid,
                           QStringLiteral("Invalid port number: %1 is not a port from 1 to 16.").arg(port));
    if (portOpen() && port != m_commPort)
        throw ControlError(PortAlreadyOpen,
                           QStringLiteral("The port number cannot change while COM%1 is open.").arg(m_commPort));
    m_commPort = port;
}

void SerialPort::setLine(int handshake, const QString &settings, int port)
{
    setHandshaking(handshake);
    setSettings(settings);
    setCommPort(port);
}

void SerialPort::requireOpen() const
{
    if (!portOpen())
        throw ControlError(PortNotOpen, QStringLiteral("Operation valid only when the port is open."));
}

void SerialPort::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return;
    }
    const QString path = device();
    if (portOpen())
        throw ControlError(PortAlreadyOpen, QStringLiteral("Port already open: COM%1 (%2).").arg(m_commPort).arg(path));
    if (!QFileInfo::exists(path))
        throw ControlError(PortInvalid, QStringLiteral("Invalid port number: COM%1 is %2, which does not exist.")
                                            .arg(m_commPort)
                                            .arg(path));
    m_port.setPortName(path);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = m_port.error();
        const QString why = m_port.errorString();
        m_port.clearError();
        if (error == QSerialPort::DeviceNotFoundError)
            throw ControlError(PortInvalid, QStringLiteral("Invalid port number: COM%1 is %2, which cannot be found (%3).")
                                                .arg(m_commPort)
                                                .arg(path, why));
        if (error == QSerialPort::PermissionError)
            throw ControlError(PortNotAvailable, QStringLiteral("COM%1 (%2) is in use or may not be opened: %3.")
                                                     .arg(m_commPort)
                                                     .arg(path, why));
        throw ControlError(PortNotAvailable,
                           QStringLiteral("COM%1 (%2) could not be opened: %3.").arg(m_commPort).arg(path, why));
    }
    m_failurePending = false;
    m_failureText.clear();
    m_writable.setSocket(m_port.handle());
    m_writable.setEnabled(false);
    try {
        applyLine();
    } catch (...) {
        closePort();
        throw;
    }
}

// Data bits, parity, stop bits and classic rates go through Qt; the handshake is set on the
// descriptor (Qt has no value for RTS/CTS with XON/XOFF, and its XON/XOFF lets any character
// release output, where only XON may); rates without a classic constant go through termios2 last,
// since a classic termios write keeps the rate set before it.
void SerialPort::applyLine()
{
    const LineSettings &s = m_settings;
    const QString where = QStringLiteral("COM%1 (%2)").arg(m_commPort).arg(device());
    auto refused = [&](const QString &what) {
        const QString why = m_port.errorString();
        m_port.clearError();
        return ControlError(SetCommStateFailed,
                            QStringLiteral("%1 refused %2: %3.").arg(where, what, why));
    };
    if (!m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)))
        throw refused(QStringLiteral("%1 data bits").arg(s.dataBits));
    if (!m_port.setParity(qtParity(s.parity)))
        throw refused(QStringLiteral("parity %1").arg(QLatin1Char(s.parity)));
    if (!m_port.setStopBits(s.stopBits == StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop))
        throw refused(QStringLiteral("%1 stop bits").arg(s.stopBits == StopBits::Two ? 2 : 1));
    if (!m_port.setFlowControl(QSerialPort::NoFlowControl))
        throw refused(QStringLiteral("the handshake"));
    const bool classic = classicSpeed(s.baud);
    // A rate without a constant is set below; until then the port keeps a rate it surely has.
    if (!m_port.setBaudRate(classic ? s.baud : 9600))
        throw refused(QStringLiteral("%1 baud").arg(s.baud));

    const int fd = m_port.handle();
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        throw ControlError(SetCommStateFailed, QStringLiteral("%1: %2.").arg(where, systemText(errno)));
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    if (m_handshaking == XonXoff || m_handshaking == RtsCtsXonXoff)
        t.c_iflag |= IXON | IXOFF;
    if (m_handshaking == RtsCts || m_handshaking == RtsCtsXonXoff)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        throw ControlError(SetCommStateFailed,
                           QStringLiteral("%1 refused the handshake: %2.").arg(where, systemText(errno)));

    if (!classic) {
        if (const int err = setLineSpeed(fd, s.baud))
            throw ControlError(SetCommStateFailed,
                               QStringLiteral("%1 refused %2 baud: %3.").arg(where).arg(s.baud).arg(systemText(err)));
        // A device may round an odd rate to what its clock can make; more than 3% off would garble the line.
        const int got = lineSpeed(fd);
        if (got <= 0 || std::abs(got - s.baud) > s.baud * 3 / 100)
            throw ControlError(SetCommStateFailed,
                               QStringLiteral("%1 cannot run at %2 baud (it set %3).").arg(where).arg(s.baud).arg(got));
    }
}

void SerialPort::closePort()
{
    if (!m_port.isOpen())
        return;
    // What still waits is dropped, so closing never waits for output that a held XOFF or CTS
    // keeps from draining.
    discardOutput();
    m_port.close();
    m_port.clearError();
}

// Our own queue is cleared and the driver's flushed. The driver is flushed only when it reports a
// queue: a pty reports none, and flushing one would throw away what the far end has been given but
// not yet read.
void SerialPort::discardOutput()
{
    if (!m_port.isOpen())
        return;
    m_writable.setEnabled(false);
    m_pending.clear();
    m_pendingAt = 0;
    int queued = 0;
    if (ioctl(m_port.handle(), TIOCOUTQ, &queued) == 0 && queued > 0)
        tcflush(m_port.handle(), TCOFLUSH);
}

void SerialPort::output(QByteArrayView bytes)
{
    requireOpen();
    m_pending.append(bytes.data(), bytes.size());
    // While earlier bytes wait for room, these wait behind them.
    if (m_writable.isEnabled())
        return;
    if (const int err = writePending()) {
        m_writable.setEnabled(false);
        throw ControlError::fromErrno(err, device());
    }
}

// Writes what waits as far as the device takes it now. A device that takes nothing for now
// (output stopped by XOFF or CTS, or its queue full) leaves the rest waiting for the device to
// have room again: that is a wait, not a failure, however often the far end stops and starts.
// Returns the system's error number when the device fails, else 0.
int SerialPort::writePending()
{
    const int fd = m_port.handle();
    while (m_pendingAt < m_pending.size()) {
        const ssize_t written = ::write(fd, m_pending.constData() + m_pendingAt,
                                        static_cast<size_t>(m_pending.size() - m_pendingAt));
        if (written > 0) {
            m_pendingAt += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            break;
        return errno;
    }
    if (m_pendingAt == m_pending.size()) {
        m_pending.resize(0);
        m_pendingAt = 0;
    } else if (m_pendingAt >= 65536 && m_pendingAt * 2 >= m_pending.size()) {
        m_pending.remove(0, m_pendingAt);
        m_pendingAt = 0;
    }
    m_writable.setEnabled(!m_pending.isEmpty());
    return 0;
}

void SerialPort::onWritable()
{
    if (!m_port.isOpen())
        return;
    const qsizetype before = m_pending.size() - m_pendingAt;
    if (const int err = writePending()) {
        m_writable.setEnabled(false);
        if (!m_failurePending) {
            m_failureText = systemText(err);
            m_failurePending = true;
            QMetaObject::invokeMethod(this, &SerialPort::failNow, Qt::QueuedConnection);
        }
        return;
    }
    if (m_pending.size() - m_pendingAt < before)
        emit outputTaken();
}

qint64 SerialPort::outBufferCount() const
{
    if (!m_port.isOpen())
        return 0;
    int queued = 0;
    if (ioctl(m_port.handle(), TIOCOUTQ, &queued) != 0)
        queued = 0;
    return m_pending.size() - m_pendingAt + queued;
}

QByteArray SerialPort::input()
{
    if (!m_port.isOpen())
        return QByteArray();
    QByteArray bytes = m_port.readAll();
    // What the driver holds beyond Qt's buffer is taken too, so one call empties the input.
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(m_port.handle(), chunk, sizeof chunk);
        if (got > 0) {
            bytes.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break; // nothing more now; a failing device is reported through Qt's notifier
    }
    return bytes;
}

int SerialPort::handle() const
{
    return m_port.isOpen() ? m_port.handle() : -1;
}

void SerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return;
    if (!m_port.isOpen() || m_failurePending)
        return;
    // Qt's notifier may find nothing to read when input() has taken it first (both read the
    // descriptor); that is no failure of the device, which would show as a hang-up or an error.
    if (error == QSerialPort::ReadError) {
        pollfd p{m_port.handle(), POLLIN, 0};
        if (::poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            m_port.clearError();
            return;
        }
    }
    // Qt reports from inside its own notifier; the port is closed once that has returned.
    m_failureText.clear();
    m_failurePending = true;
    QMetaObject::invokeMethod(this, &SerialPort::failNow, Qt::QueuedConnection);
}

void SerialPort::failNow()
{
    if (!m_failurePending)
        return;
    m_failurePending = false;
    if (!m_port.isOpen())
        return;
    const QString why = m_failureText.isEmpty() ? m_port.errorString() : m_failureText;
    m_failureText.clear();
    closePort();
    emit failed(ControlError::DeviceIoError,
                QStringLiteral("COM%1 (%2) failed: %3.").arg(m_commPort).arg(m_ports.device(m_commPort), why));
}

} // namespace comm
