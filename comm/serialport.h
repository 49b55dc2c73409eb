#pragma once

#include "commerror.h"
#include "linesettings.h"
#include "portmap.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QSerialPort>
#include <QSocketNotifier>

// One serial port as the communication windows and the command line use it: a port number mapped
// to a device, line settings as one text, a handshake from 0 to 3, open and close, output that
// returns at once, a count of what still waits to go out, and input. Every failure throws
// ControlError with a number and a description; a failure of an open port (a device unplugged)
// closes it and is reported by failed().
namespace comm {

class SerialPort : public QObject
{
    Q_OBJECT

public:
    // Handshaking values.
    enum : int { NoHandshake = 0, XonXoff = 1, RtsCts = 2, RtsCtsXonXoff = 3 };

    explicit SerialPort(PortMap ports = PortMap(), QObject *parent = nullptr);
    // Closes the port, dropping what waits to go out.
    ~SerialPort() override;

    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 RTS/CTS and XON/XOFF. XON/XOFF holds output while the far
    // end has sent XOFF (only XON releases it) and sends XOFF when the input fills. Applies at once
    // when the port is open. Other values throw InvalidPropertyValue.
    void setHandshaking(int mode);
    int handshaking() const { return m_handshaking; }

    // Line settings, "9600,N,8,1" (linesettings.h). An invalid text throws InvalidPropertyValue, and
    // so do 4 data bits and 1.5 stop bits, which Linux serial ports cannot do. Applies at once when
    // the port is open.
    void setSettings(const QString &text);
    QString settings() const { return settingsText(m_settings); }
    const LineSettings &lineSettings() const { return m_settings; }

    // The port number, 1 to 16; its device comes from the port map. Other numbers throw PortInvalid;
    // changing it while the port is open throws PortAlreadyOpen.
    void setCommPort(int port);
    int commPort() const { return m_commPort; }
    QString device() const { return m_ports.device(m_commPort); }
    const PortMap &ports() const { return m_ports; }

    // The handshake, line settings and port number at once (see each above).
    void setLine(int handshake, const QString &settings, int port);
    // Throws PortNotOpen when the port is closed.
    void requireOpen() const;

    // True opens the device of the port number with the settings and handshake; false closes it at
    // once, dropping what still waits to go out (nothing is drained). Opening throws PortInvalid
    // when the device does not exist, PortNotAvailable when it is busy or not allowed,
    // PortAlreadyOpen when open, SetCommStateFailed when the device refuses the settings.
    void setPortOpen(bool open);
    bool portOpen() const { return m_port.isOpen(); }

    // Queues the bytes for sending and returns at once; they go out as the device takes them. A
    // device that takes nothing for now (output held by XOFF or CTS) is waited for, never an error.
    // Throws PortNotOpen when closed and a device error when the device fails.
    void output(QByteArrayView bytes);
    // Drops what still waits to go out, here and in the device's queue; the port stays open.
    void discardOutput();
    // Bytes still waiting to go out: those queued here plus the device driver's output queue.
    qint64 outBufferCount() const;
    // Everything received and not yet taken, which it empties; empty when nothing waits.
    QByteArray input();

    // The descriptor of the open port, -1 when closed.
    int handle() const;

signals:
    // Characters arrived and wait for input().
    void received();
    // Some of the queued output went to the device.
    void outputTaken();
    // The open port failed (the device went away, or reading or writing failed) and is now closed.
    void failed(int number, const QString &description);

private:
    void applyLine();
    void closePort();
    int writePending();
    void onWritable();
    void onError(QSerialPort::SerialPortError error);
    void failNow();

    PortMap m_ports;
    QSerialPort m_port;
    // Output the device has not taken yet, from m_pendingAt on, written as the device has room.
    // Qt's own buffer is not used: it counts a device that refuses a write for now as failed.
    QByteArray m_pending;
    qsizetype m_pendingAt = 0;
    QSocketNotifier m_writable{QSocketNotifier::Write};
    QString m_failureText;
    LineSettings m_settings;
    int m_handshaking = NoHandshake;
    int m_commPort = 1;
    bool m_failurePending = false;
};

} // namespace comm
