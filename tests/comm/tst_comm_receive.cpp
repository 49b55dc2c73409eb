#include "capturefile.h"
#include "eobreplacer.h"
#include "faults.h"
#include "ptypair.h"
#include "receivetransfer.h"
#include "testenv.h"

#include <QSignalSpy>

using comm::EobReplacer;
using comm::ReceiveTransfer;
using comm::TransferResult;

namespace {

// What a machine sends and what the capture holds, for each end of block.
struct Case
{
    const char *name;
    QByteArray eob;
    QByteArray input;
    QByteArray capture;
};

const QList<Case> &cases()
{
    static const QList<Case> all = {
        {"CR", "\r", "N10\rN20\r", "N10\r\nN20\r\n"},
        {"CR LF", "\r\n", "N10\r\nN20\r\n", "N10\r\nN20\r\n"},
        {"CR LF, a CR last", "\r\n", "N10\r\nN20\r", "N10\r\nN20\r"},
        {"LF, the machine sends CR LF", "\n", "N10\r\nN20\r\n", "N10\r\r\nN20\r\r\n"},
        {"LF CR before another CR", "\n\r", "A\n\r\rB", "A\r\n\rB"},
        {"LF CR, a run of them", "\n\r", "\n\r\n\r\n\n\r\r", "\r\n\r\n\n\r\n\r"},
        {"LF CR CR", "\n\r\r", "X1\n\r\rX2\n\r\n\r\rX3\n\r", "X1\r\nX2\n\r\r\nX3\n\r"},
        {"empty", "", "N10\r\nN20\n\0\x13", "N10\r\nN20\n\0\x13"},
    };
    return all;
}

QByteArray replacedWhole(const QByteArray &eob, const QByteArray &input)
{
    EobReplacer r(eob);
    QByteArray out = r.feed(input);
    return out + r.finish();
}

comm::MachineProfile profileWith(const QByteArray &eob)
{
    comm::MachineProfile p = comm::newProfile(QStringLiteral("Lathe"));
    p.eob = eob;
    return p;
}

TransferResult resultOf(const QSignalSpy &spy)
{
    return spy.first().first().value<TransferResult>();
}

} // namespace

class TestReceive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<TransferResult>(); }

    void replacement_data()
    {
        QTest::addColumn<QByteArray>("eob");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("capture");
        for (const Case &c : cases())
            QTest::newRow(c.name) << c.eob << c.input << c.capture;
    }

    // The capture is the same whether the input comes whole, split in two at any offset, or byte
    // by byte; and no more than the end of block's length - 1 input characters are ever held.
    void replacement()
    {
        QFETCH(QByteArray, eob);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, capture);
        QCOMPARE(replacedWhole(eob, input), capture);
        for (qsizetype split = 0; split <= input.size(); ++split) {
            EobReplacer r(eob);
            QByteArray got = r.feed(input.left(split));
            QVERIFY(r.heldBack() < std::max<qsizetype>(1, eob.size()));
            got += r.feed(input.mid(split));
            got += r.finish();
            QVERIFY2(got == capture, qPrintable(QStringLiteral("split at %1").arg(split)));
        }
        EobReplacer bytewise(eob);
        QByteArray got;
        for (char c : input)
            got += bytewise.feed(QByteArrayView(&c, 1));
        QCOMPARE(got + bytewise.finish(), capture);
    }

    // A machine sends in small pieces with pauses between them; Stop writes what was held back.
    void receive()
    {
        const QByteArray input = "%\r\nO1000\r\nN10 G00 X1.\r\nN20 M30\r\n%\r";
        PtyPair pty;
        ReceiveTransfer transfer(profileWith("\r\n"), pty.portMap(), comm::capturePath());
        QSignalSpy progress(&transfer, &ReceiveTransfer::progress);
        QSignalSpy finished(&transfer, &ReceiveTransfer::finished);
        writeBytes(comm::capturePath(), "an old capture");
        transfer.start();
        QTRY_VERIFY(pty.slaveOpen());
        QCOMPARE(readBytes(comm::capturePath()), QByteArray());
        pty.writeInChunks(input, 1, 5);
        QTRY_VERIFY(pty.chunksWritten());
        QTRY_COMPARE(transfer.written(), input.size() - 1);
        QCOMPARE(readBytes(comm::capturePath()), input.chopped(1)); // on disk as it comes
        QVERIFY(progress.size() > 1);
        QCOMPARE(progress.last().first().toLongLong(), input.size() - 1);
        transfer.stop();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(resultOf(finished).outcome, TransferResult::Outcome::Done);
        QCOMPARE(resultOf(finished).count, input.size());
        QCOMPARE(readBytes(comm::capturePath()), input);
        QVERIFY(!pty.slaveOpen());
    }

    void nothingReceived()
    {
        PtyPair pty;
        ReceiveTransfer transfer(profileWith("\r"), pty.portMap(), comm::capturePath());
        QSignalSpy finished(&transfer, &ReceiveTransfer::finished);
        transfer.start();
        transfer.stop();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(resultOf(finished).outcome, TransferResult::Outcome::NothingReceived);
        QCOMPARE(resultOf(finished).message, QStringLiteral("Nothing Received"));
        QVERIFY(QFileInfo::exists(comm::capturePath()));
        transfer.stop();
        QCOMPARE(finished.size(), 1);
    }

    // A port that cannot be opened, or that fails, is an error, not "Nothing Received"; what
    // arrived before the failure stays in the capture.
    void portFailures()
    {
        PtyPair pty;
        comm::PortMap map = pty.portMap(1);
        map.setDevice(2, QStringLiteral("/dev/vornexa-no-such-port"));
        comm::MachineProfile p = profileWith("\r\n");
        p.comPort = 2;
        ReceiveTransfer missing(p, map, comm::capturePath());
        QSignalSpy refused(&missing, &ReceiveTransfer::finished);
        missing.start();
        QCOMPARE(refused.size(), 0);
        QVERIFY(refused.wait());
        QCOMPARE(resultOf(refused).outcome, TransferResult::Outcome::Failed);
        QCOMPARE(resultOf(refused).message,
                 QStringLiteral("ERROR 8002: Invalid port number: COM2 is /dev/vornexa-no-such-port, which does not exist."));

        p.comPort = 1;
        ReceiveTransfer transfer(p, map, comm::capturePath());
        QSignalSpy finished(&transfer, &ReceiveTransfer::finished);
        transfer.start();
        QTRY_VERIFY(pty.slaveOpen());
        pty.write("N10\r\nN20\r");
        QTRY_COMPARE(transfer.written(), 8); // the last CR is held back
        pty.hangUp();
        QVERIFY(finished.wait());
        QCOMPARE(resultOf(finished).outcome, TransferResult::Outcome::Failed);
        QVERIFY(resultOf(finished).message.startsWith(QStringLiteral("ERROR 57: COM1 (")));
        QCOMPARE(transfer.capture(), comm::capturePath()); // the refused receive gave its claim up
        QCOMPARE(readBytes(transfer.capture()), QByteArray("N10\r\nN20\r"));
    }

    // Two receives at once capture into files of their own, each byte for byte; a link planted in
    // a capture's place is refused, and the file it names is left alone.
    void capturesOfTheirOwn()
    {
        PtyPair a;
        PtyPair b;
        comm::PortMap map = a.portMap(1);
        map.setDevice(2, b.slavePath());
        comm::MachineProfile p = profileWith("\r\n");
        ReceiveTransfer first(p, map, comm::capturePath());
        p.comPort = 2;
        ReceiveTransfer second(p, map, comm::capturePath());
        first.start();
        second.start();
        QTRY_VERIFY(a.slaveOpen() && b.slaveOpen());
        QCOMPARE(first.capture(), comm::capturePath());
        QVERIFY(second.capture() != first.capture());
        a.write("A1\r\n");
        b.write("B22\r\n");
        QTRY_COMPARE(first.written(), 4);
        QTRY_COMPARE(second.written(), 5);
        first.stop();
        second.stop();
        QCOMPARE(readBytes(first.capture()), QByteArray("A1\r\n"));
        QCOMPARE(readBytes(second.capture()), QByteArray("B22\r\n"));

        const QString precious = testEnvironment().path(QStringLiteral("precious.nc"));
        writeBytes(precious, "PRECIOUS");
        QFile::remove(comm::capturePath());
        QVERIFY(QFile::link(precious, comm::capturePath()));
        ReceiveTransfer linked(p, map, comm::capturePath());
        QSignalSpy finished(&linked, &ReceiveTransfer::finished);
        linked.start();
        QVERIFY(finished.wait());
        QCOMPARE(resultOf(finished).outcome, TransferResult::Outcome::Failed);
        QVERIFY2(resultOf(finished).message.contains(QStringLiteral("a link stands in its place")),
                 qPrintable(resultOf(finished).message));
        QCOMPARE(readBytes(precious), QByteArray("PRECIOUS"));
        QFile::remove(comm::capturePath());
    }

    // A capture its file cannot take (a full disk, here a file-size limit): an error that says so,
    // and the count is what the file holds.
    void aCaptureTheDiskCannotTake()
    {
        PtyPair pty;
        ReceiveTransfer transfer(profileWith("\r\n"), pty.portMap(), comm::capturePath());
        QSignalSpy finished(&transfer, &ReceiveTransfer::finished);
        transfer.start();
        QTRY_VERIFY(pty.slaveOpen());
        {
            FileSizeLimit limit(3000);
            if (!limit.ok())
                QSKIP("no file-size limit can be set here");
            pty.write(QByteArray(8000, 'X') + "\r\n");
            QVERIFY(finished.wait());
        }
        const TransferResult result = resultOf(finished);
        QCOMPARE(result.outcome, TransferResult::Outcome::Failed);
        QVERIFY(result.captureFailed);
        QVERIFY2(result.message.startsWith(QStringLiteral("ERROR 61: ")), qPrintable(result.message));
        QVERIFY2(!result.message.contains(QStringLiteral("Unknown error")), qPrintable(result.message));
        QCOMPARE(result.count, QFileInfo(transfer.capture()).size());
    }

    // Without a window the receive ends by itself once the line has been quiet for the idle time,
    // counted from the first character only.
    void idleTime()
    {
        PtyPair pty;
        ReceiveTransfer transfer(profileWith("\r"), pty.portMap(), comm::capturePath());
        transfer.setIdleSeconds(1);
        QSignalSpy finished(&transfer, &ReceiveTransfer::finished);
        transfer.start();
        QVERIFY(!finished.wait(1500));
        pty.write("N10\r");
        QVERIFY(finished.wait(5000));
        QCOMPARE(resultOf(finished).outcome, TransferResult::Outcome::Done);
        QCOMPARE(readBytes(comm::capturePath()), QByteArray("N10\r\n"));
    }

    void saveCapture()
    {
        const QString target = testEnvironment().path(QStringLiteral("received.nc"));
        writeBytes(comm::capturePath(), "N10\r\nN20\r\n");
        writeBytes(target, "an older program, longer than the capture");
        comm::saveCaptureAs(comm::capturePath(), target);
        QCOMPARE(readBytes(target), QByteArray("N10\r\nN20\r\n"));
        QVERIFY(QFileInfo::exists(comm::capturePath()));
        try {
            comm::saveCaptureAs(comm::capturePath(), testEnvironment().path(QStringLiteral("no-folder/x.nc")));
            QFAIL("saving into a missing folder did not fail");
        } catch (const comm::ControlError &error) {
            QCOMPARE(error.number(), 75);
        }
    }
};

VORNEXA_TEST_MAIN(TestReceive)
#include "tst_comm_receive.moc"
