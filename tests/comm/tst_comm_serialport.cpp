#include "ptypair.h"
#include "serialport.h"
#include "testenv.h"

#include <QSignalSpy>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using comm::SerialPort;

namespace {

termios termiosOf(const SerialPort &port)
{
    termios t{};
    if (tcgetattr(port.handle(), &t) != 0)
        qFatal("tcgetattr failed");
    return t;
}

} // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    // What the flow-control tests stand on: a pty slave with IXON stops its output at XOFF from
    // the master and starts again at XON. A machine whose ptys do not would pass the flow tests
    // without testing anything.
    void ptysHonourXonXoff()
    {
        PtyPair pty;
        const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        t.c_iflag |= IXON;
        tcsetattr(fd, TCSANOW, &t);
        QCOMPARE(::write(fd, "one", 3), ssize_t(3));
        QTRY_COMPARE(pty.received(), QByteArray("one"));
        pty.xoff();
        QTRY_VERIFY(!writable(fd));
        errno = 0;
        QCOMPARE(::write(fd, "two", 3), ssize_t(-1));
        QCOMPARE(errno, EAGAIN);
        pty.xon();
        QTRY_VERIFY(writable(fd));
        QCOMPARE(::write(fd, "two", 3), ssize_t(3));
        QTRY_COMPARE(pty.received(), QByteArray("onetwo"));
        ::close(fd);
    }

    void baudRates_data()
    {
        QTest::addColumn<int>("rate");
        for (int rate : comm::profileBaudRates())
            QTest::addRow("%d", rate) << rate;
        QTest::newRow("115200, beyond the profile's list") << 115200;
    }

    // Every rate is set on the device as it is, also those without a classic termios constant.
    void baudRates()
    {
        QFETCH(int, rate);
        PtyPair pty;
        SerialPort port(pty.portMap(4));
        port.setSettings(QStringLiteral("%1,N,8,1").arg(rate));
        port.setCommPort(4);
        port.setPortOpen(true);
        QCOMPARE(descriptorSpeed(port.handle()), rate);
        QCOMPARE(port.settings(), QStringLiteral("%1,N,8,1").arg(rate));
    }

    // A pty takes stop bits but keeps 8 data bits and no parity whatever it is told: what a device
    // cannot do is refused with its reason when the port opens, what no port can do at once. Either
    // way the port keeps what it had, never quietly left half set.
    void lineSettings_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("failure"); // %1: the device
        QTest::newRow("1 stop bit, applied to the open port") << "9600,N,8,1" << QString();
        QTest::newRow("even parity") << "2400,E,8,2" << "8015: COM1 (%1) refused parity E: ";
        QTest::newRow("7 data bits") << "2400,N,7,2" << "8015: COM1 (%1) refused 7 data bits: ";
        QTest::newRow("4 data bits") << "9600,N,4,1"
                                     << "380: 4 data bits cannot be set on a serial port of this system; choose 5, 6, 7 "
                                        "or 8 data bits.";
        QTest::newRow("1.5 stop bits") << "9600,N,8,1.5"
                                       << "380: 1.5 stop bits cannot be set on a serial port of this system; choose 1 or "
                                          "2 stop bits.";
        QTest::newRow("three items") << "9600,N,8"
                                     << "380: The line settings \"9600,N,8\" are not four items: baud rate, parity, data "
                                        "bits and stop bits, as in \"9600,N,8,1\".";
        QTest::newRow("parity") << "9600,X,8,1" << "380: The parity \"X\" is not one of E, M, N, O or S.";
    }

    void lineSettings()
    {
        QFETCH(QString, settings);
        QFETCH(QString, failure);
        PtyPair pty;
        SerialPort port(pty.portMap());
        port.setSettings(QStringLiteral("4800,N,8,2"));
        if (failure.startsWith(QLatin1String("380")))
            QCOMPARE(failureOf([&] { port.setSettings(settings); }), failure);
        port.setPortOpen(true);
        QVERIFY(termiosOf(port).c_cflag & CSTOPB);
        const QString got = failureOf([&] { port.setSettings(settings); }); // applies to the open port at once
        if (failure.isEmpty()) {
            QCOMPARE(got, QString());
            QVERIFY(!(termiosOf(port).c_cflag & CSTOPB));
            return;
        }
        QVERIFY2(got.startsWith(failure.replace(QLatin1String("%1"), pty.slavePath())), qPrintable(got));
        QCOMPARE(port.settings(), QStringLiteral("4800,N,8,2"));
        QVERIFY(termiosOf(port).c_cflag & CSTOPB);
    }

    // XON/XOFF both ways for handshakes 1 and 3, RTS for 2 and 3, and only XON releases output
    // (never any character); a handshake past 3 is refused and the one set is kept.
    void handshakes()
    {
        for (int mode = 0; mode <= 3; ++mode) {
            PtyPair pty;
            SerialPort port(pty.portMap());
            port.setHandshaking(mode);
            port.setPortOpen(true);
            const termios t = termiosOf(port);
            const bool xon = mode == 1 || mode == 3, rts = mode == 2 || mode == 3;
            QCOMPARE(bool(t.c_iflag & IXON), xon);
            QCOMPARE(bool(t.c_iflag & IXOFF), xon);
            QCOMPARE(bool(t.c_iflag & IXANY), false);
            QCOMPARE(bool(t.c_cflag & CRTSCTS), rts);
            QCOMPARE(failureOf([&] { port.setHandshaking(4); }),
                     QStringLiteral("380: The handshake 4 is not one of 0 (none), 1 (XON/XOFF), 2 (RTS) or 3 (RTS and XON/XOFF)."));
            QCOMPARE(port.handshaking(), mode);
        }
    }

    void portNumbers()
    {
        PtyPair pty;
        comm::PortMap map = pty.portMap(2);
        map.setDevice(3, QStringLiteral("/dev/vornexa-no-such-port"));
        SerialPort port(map);
        QCOMPARE(failureOf([&] { port.setCommPort(0); }), QStringLiteral("8002: Invalid port number: 0 is not a port from 1 to 16."));
        QCOMPARE(failureOf([&] { port.setCommPort(17); }), QStringLiteral("8002: Invalid port number: 17 is not a port from 1 to 16."));
        port.setCommPort(3);
        QCOMPARE(failureOf([&] { port.setPortOpen(true); }),
                 QStringLiteral("8002: Invalid port number: COM3 is /dev/vornexa-no-such-port, which does not exist."));
        QVERIFY(!port.portOpen());
        QCOMPARE(failureOf([&] { port.output("x"); }), QStringLiteral("8018: Operation valid only when the port is open."));
        port.setCommPort(2);
        port.setPortOpen(true);
        QVERIFY(pty.slaveOpen());
        QCOMPARE(failureOf([&] { port.setCommPort(3); }), QStringLiteral("8005: The port number cannot change while COM2 is open."));
        SerialPort second(map);
        second.setCommPort(2);
        QVERIFY(failureOf([&] { second.setPortOpen(true); }).startsWith(QStringLiteral("8010: COM2 (") + pty.slavePath()));
        port.setPortOpen(false);
        QVERIFY(!pty.slaveOpen());
    }

    // XOFF from the far end holds what is queued (it is counted as waiting) and XON releases it;
    // closing drops what is held.
    void xoffHoldsXonReleases()
    {
        PtyPair pty;
        SerialPort port(pty.portMap());
        port.setHandshaking(SerialPort::XonXoff);
        port.setPortOpen(true);
        port.output("first ");
        QTRY_COMPARE(pty.received(), QByteArray("first "));
        QCOMPARE(port.outBufferCount(), 0);

        pty.xoff();
        QTRY_VERIFY(!writable(port.handle()));
        const QByteArray held(300, 'h');
        port.output(held);
        QCOMPARE(port.outBufferCount(), 300);
        QSignalSpy taken(&port, &SerialPort::outputTaken);
        QVERIFY(!taken.wait(300));
        QCOMPARE(pty.received(), QByteArray("first "));

        pty.xon();
        QTRY_COMPARE(pty.received(), "first " + held);
        QTRY_COMPARE(port.outBufferCount(), 0);

        pty.xoff();
        QTRY_VERIFY(!writable(port.handle()));
        port.output("dropped");
        port.setPortOpen(false);
        QVERIFY(!pty.slaveOpen());
        port.setPortOpen(true);
        pty.xon();
        port.output("after");
        QTRY_COMPARE(pty.received(), "first " + held + "after");
    }

    void inputAndFailure()
    {
        PtyPair pty;
        SerialPort port(pty.portMap());
        port.setPortOpen(true);
        QSignalSpy received(&port, &SerialPort::received);
        QSignalSpy failed(&port, &SerialPort::failed);
        pty.write("N10 G01 X1\r\n");
        QVERIFY(received.wait());
        QByteArray got;
        QTRY_COMPARE(got += port.input(), QByteArray("N10 G01 X1\r\n"));
        QCOMPARE(port.input(), QByteArray());

        pty.hangUp();
        QVERIFY(failed.wait());
        QVERIFY(!port.portOpen());
        QCOMPARE(failed.first().first().toInt(), 57);
        QVERIFY(failed.first().last().toString().startsWith(QStringLiteral("COM1 (") + pty.slavePath() + QStringLiteral(") failed: ")));
    }
};

VORNEXA_TEST_MAIN(TestSerialPort)
#include "tst_comm_serialport.moc"
