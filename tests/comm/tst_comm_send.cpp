#include "linestore.h"
#include "ptypair.h"
#include "sendframing.h"
#include "sendtransfer.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using comm::MachineProfile;
using comm::SendTransfer;
using comm::TransferResult;

Q_DECLARE_METATYPE(comm::MachineProfile)

namespace {

constexpr int kRecLen = 500;

// A line store of `lines` in the test run's folder.
QString storeOf(const QList<QByteArray> &lines)
{
    const QString path = testEnvironment().path(QStringLiteral("send.store"));
    QFile::remove(path);
    tessarc::LineStore store;
    store.open(path, kRecLen);
    for (qsizetype i = 0; i < lines.size(); ++i)
        store.write(tessarc::LineNumber(i + 1), lines[i]);
    store.close();
    return path;
}

QList<QByteArray> program(int count)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= count; ++k)
        lines.append(QByteArray("N") + QByteArray::number(k * 10) + " G01 X" + QByteArray::number(k) + ".125 Y-2.5 F300.");
    return lines;
}

MachineProfile profile(const QByteArray &eob = "\r\n", int handshake = 0)
{
    MachineProfile p = comm::newProfile(QStringLiteral("Mill"));
    p.eob = eob;
    p.handshake = static_cast<quint8>(handshake);
    return p;
}

// Answers Edit On The Fly from a list, and notes whether a line went out while it was asked.
class ScriptedQuestions : public comm::SendQuestions
{
public:
    QStringList answers;
    SendTransfer *transfer = nullptr;
    bool lineSentWhileAsked = false;

    std::optional<QString> askFlyText(const QString &prompt, const QString &title) override
    {
        asked.append(title + QStringLiteral(": ") + prompt);
        // A modal box runs the event loop while it is open.
        const qint64 before = transfer->sent();
        QElapsedTimer open;
        open.start();
        while (open.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        lineSentWhileAsked = lineSentWhileAsked || transfer->sent() != before;
        if (answers.isEmpty())
            return std::nullopt;
        return answers.takeFirst();
    }
    QStringList asked;
};

// A transfer on a pty, with its signals recorded.
struct Run
{
    Run(const MachineProfile &p, const comm::SendJob &job, const PtyPair &pty)
        : transfer(p, pty.portMap(p.comPort), job), captions(&transfer, &SendTransfer::progress),
          finished(&transfer, &SendTransfer::finished)
    {
    }
    TransferResult result() const { return finished.first().first().value<TransferResult>(); }
    QStringList captionList() const
    {
        QStringList list;
        for (const QList<QVariant> &args : captions)
            list.append(args.first().toString());
        return list;
    }

    SendTransfer transfer;
    QSignalSpy captions;
    QSignalSpy finished;
};

// The machine sends XOFF as line `line` is handed over, and the send sees it take hold.
void holdAtLine(SendTransfer &transfer, PtyPair &pty, qint64 line)
{
    QObject::connect(&transfer, &SendTransfer::progress, &transfer, [&transfer, &pty, line] {
        if (transfer.sent() == line) {
            pty.xoff();
            QVERIFY(heldWithoutEvents(transfer.port().handle()));
        }
    });
}

comm::SendJob jobOf(const QList<QByteArray> &lines, qint64 first = 1, qint64 last = -1)
{
    // The program a job sends outlives the job: one for the test run, its store written again.
    static tessarc::Program program;
    program.store = storeOf(lines);
    program.recordLength = kRecLen;
    program.setLineCount(lines.size());
    comm::SendJob job;
    job.program = &program;
    job.first = first;
    job.last = last < 0 ? lines.size() : last;
    return job;
}

} // namespace

class TestSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<TransferResult>(); }

    void wire_data()
    {
        QTest::addColumn<MachineProfile>("profile");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray zeros(10, '\0');
        QTest::newRow("three lines with CR LF") << profile() << QByteArray("L1\r\nL2\r\nL3\r\n");
        MachineProfile percent = profile();
        percent.bof = "%";
        percent.bofeob = 1;
        percent.eof = "%";
        QTest::newRow("start text with its EOB, end text without") << percent << QByteArray("%\r\nL1\r\nL2\r\nL3\r\n%");
        MachineProfile swapped = percent;
        swapped.bofeob = 0;
        swapped.eofeob = 1;
        QTest::newRow("start text without its EOB, end text with") << swapped << QByteArray("%L1\r\nL2\r\nL3\r\n%\r\n");
        MachineProfile eobOnly = profile("\n");
        eobOnly.bofeob = 1;
        eobOnly.eofeob = 1;
        QTest::newRow("EOBs without texts") << eobOnly << QByteArray("\nL1\nL2\nL3\n\n");
        MachineProfile strippit = percent;
        strippit.strippit = 1;
        QTest::newRow("special protocol") << strippit << zeros + "PART.NC" + zeros + "%\r\nL1\r\nL2\r\nL3\r\n%" + zeros;
        MachineProfile controls = profile("\x12\x14");
        controls.bof = QByteArray("\0\x11", 2);
        QTest::newRow("control characters") << controls << QByteArray("\0\x11L1\x12\x14L2\x12\x14L3\x12\x14", 14);
    }

    // The bytes on the wire, from the pure framing and from a real send over a pty.
    void wire()
    {
        QFETCH(MachineProfile, profile);
        QFETCH(QByteArray, expected);
        const QList<QByteArray> lines = {"L1", "L2", "L3"};
        QCOMPARE(comm::wholeSend(profile, "PART.NC", lines), expected);

        const QString partFile = testEnvironment().path(QStringLiteral("PART.NC"));
        writeBytes(partFile, "L1\r\nL2\r\nL3\r\n");
        PtyPair pty;
        comm::SendJob job = jobOf(lines);
        job.programFile = partFile;
        Run run(profile, job, pty);
        run.transfer.start();
        QCOMPARE(run.finished.size(), 0);
        QVERIFY(run.finished.wait());
        QCOMPARE(run.result().outcome, TransferResult::Outcome::Done);
        QCOMPARE(run.result().count, 3);
        QVERIFY(!pty.slaveOpen());
        QTRY_COMPARE(pty.received(), expected);
        QCOMPARE(run.captionList(), (QStringList{QStringLiteral("33.33%"), QStringLiteral("66.67%"), QStringLiteral("100.00%")}));
    }

    void programNameOnWire()
    {
        QCOMPARE(comm::programNameOnWire(testEnvironment().path(QStringLiteral("missing.nc"))), QByteArray());
        writeBytes(testEnvironment().path(QStringLiteral("O1000.nc")), "");
        QCOMPARE(comm::programNameOnWire(testEnvironment().path(QStringLiteral("O1000.nc"))), QByteArray("O1000.nc"));
    }

    // Two answers before the next line: it carries both, in order, the line after it nothing.
    // No line goes out while a question is open.
    void editOnTheFly()
    {
        PtyPair pty;
        Run run(profile(), jobOf({"L1", "L2"}), pty);
        ScriptedQuestions questions;
        questions.answers = {QStringLiteral("A"), QStringLiteral("B")};
        questions.transfer = &run.transfer;
        run.transfer.setQuestions(&questions);
        run.transfer.editOnTheFly(); // not running yet: nothing is asked
        QCOMPARE(questions.asked.size(), 0);
        run.transfer.start();
        run.transfer.editOnTheFly();
        run.transfer.editOnTheFly();
        QVERIFY(run.finished.wait());
        QTRY_COMPARE(pty.received(), QByteArray("L1AB\r\nL2\r\n"));
        QCOMPARE(questions.asked,
                 QStringList(2, QStringLiteral("Edit On The Fly: Enter text to appened to the end of the next sent line.")));
        QVERIFY(!questions.lineSentWhileAsked);
    }

    // A long send held by XOFF: no more than the limit waits, it stays held with no timeout, and
    // Cancel closes the port at once with no end text.
    void xoffThenCancel()
    {
        const QList<QByteArray> lines = program(3000);
        MachineProfile p = profile("\r\n", 1);
        p.eof = "%";
        PtyPair pty;
        Run run(p, jobOf(lines), pty);
        holdAtLine(run.transfer, pty, 200);
        run.transfer.start();
        QTRY_VERIFY(run.transfer.port().outBufferCount() >= comm::kOutputWaitLimit);
        QVERIFY(run.transfer.port().outBufferCount() < comm::kOutputWaitLimit + lines.last().size() + 2);
        const qint64 sentWhenHeld = run.transfer.sent();
        QVERIFY(sentWhenHeld >= 200 && sentWhenHeld < 210);
        QVERIFY(!run.finished.wait(500));
        QCOMPARE(run.transfer.sent(), sentWhenHeld);

        QElapsedTimer clock;
        clock.start();
        run.transfer.cancel();
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!run.transfer.running());
        QVERIFY(!run.transfer.port().portOpen());
        QVERIFY(!pty.slaveOpen());
        QCOMPARE(run.finished.size(), 1);
        QCOMPARE(run.result().outcome, TransferResult::Outcome::Cancelled);
        QCOMPARE(run.result().message, QString());

        pty.xon();
        const QByteArray got = pty.received();
        QVERIFY(got.size() > 199 * lines.first().size());
        QVERIFY(comm::wholeSend(p, {}, lines).startsWith(got));
        QVERIFY(!got.endsWith('%'));
        run.transfer.cancel(); // once ended, nothing more happens
        QCOMPARE(run.finished.size(), 1);
    }

    void pacedByTheMachine_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("cancelAt");
        QTest::addColumn<MachineProfile>("p");
        MachineProfile both = profile("\n", 3); // RTS/CTS on as well
        both.eof = "M30";
        both.eofeob = 1;
        MachineProfile xon = profile("\r\n", 1);
        xon.eof = "%";
        QTest::newRow("200000 lines, all of them, RTS as well") << 200000 << qint64(0) << both;
        QTest::newRow("cancelled while paced") << 20000 << qint64(5000) << xon;
    }

    // The machine stops and starts the line every millisecond, as a drip-fed control does: the
    // send waits out every stop and arrives byte for byte, in order; Cancel still ends it at once.
    void pacedByTheMachine()
    {
        QFETCH(int, count);
        QFETCH(qint64, cancelAt);
        QFETCH(MachineProfile, p);
        const QList<QByteArray> lines = program(count);
        const QByteArray whole = comm::wholeSend(p, {}, lines);
        PtyPair pty;
        Run run(p, jobOf(lines), pty);
        pty.toggleFlow(1);
        run.transfer.start();
        if (cancelAt > 0) {
            QTRY_VERIFY_WITH_TIMEOUT(run.transfer.sent() >= cancelAt || !run.finished.isEmpty(), 30000);
            QVERIFY2(run.finished.isEmpty(), qPrintable(run.finished.isEmpty() ? QString() : run.result().message));
            run.transfer.cancel();
            QCOMPARE(run.finished.size(), 1);
        } else {
            QVERIFY(run.finished.wait(120000));
        }
        pty.stopToggling();
        QVERIFY(pty.xoffsSent() > 20); // the line really was stopped, many times over
        QVERIFY2(run.result().outcome == (cancelAt > 0 ? TransferResult::Outcome::Cancelled : TransferResult::Outcome::Done),
                 qPrintable(run.result().message));
        QVERIFY(!pty.slaveOpen());
        if (cancelAt > 0) {
            const QByteArray got = pty.received();
            QVERIFY(got.size() > 4000 * lines.first().size());
            QVERIFY(whole.startsWith(got));
            QVERIFY(!got.endsWith(p.eof));
            return;
        }
        QCOMPARE(run.result().count, count);
        QTRY_COMPARE(pty.receivedSize(), whole.size());
        QVERIFY(pty.received() == whole);
    }

    void drainsBeforeTheEnd()
    {
        MachineProfile p = profile("\n", 1);
        p.eof = "%";
        PtyPair pty;
        Run run(p, jobOf({"L1", "L2", "L3"}), pty);
        run.transfer.start();
        // Hold the line before the first line is handed over: every line is, none can leave.
        pty.xoff();
        QVERIFY(heldWithoutEvents(run.transfer.port().handle()));
        QCOMPARE(pty.receivedSize(), 0);
        QVERIFY(!run.finished.wait(300));
        QVERIFY(run.transfer.running());
        QVERIFY(!pty.received().endsWith('%'));
        pty.xon();
        QVERIFY(run.finished.wait());
        QTRY_COMPARE(pty.received(), QByteArray("L1\nL2\nL3\n%"));
    }

    // A port that does not exist (never said from inside start()), and a line that goes away in the
    // middle of a send: the send ends with the port's error.
    void portFailures()
    {
        PtyPair pty;
        MachineProfile p = profile();
        p.comPort = 3;
        comm::PortMap map = pty.portMap(1);
        map.setDevice(3, QStringLiteral("/dev/vornexa-no-such-port"));
        SendTransfer refused(p, map, jobOf({"L1"}));
        QSignalSpy ended(&refused, &SendTransfer::finished);
        refused.start();
        QCOMPARE(ended.size(), 0);
        QVERIFY(ended.wait());
        QCOMPARE(ended.first().first().value<TransferResult>().outcome, TransferResult::Outcome::Failed);
        QCOMPARE(ended.first().first().value<TransferResult>().message,
                 QStringLiteral("ERROR 8002: Invalid port number: COM3 is /dev/vornexa-no-such-port, which does not exist."));

        Run run(profile("\n", 1), jobOf(program(3000)), pty);
        holdAtLine(run.transfer, pty, 100);
        run.transfer.start();
        QTRY_VERIFY(run.transfer.port().outBufferCount() >= comm::kOutputWaitLimit);
        pty.hangUp();
        QVERIFY(run.finished.wait());
        QCOMPARE(run.result().outcome, TransferResult::Outcome::Failed);
        QVERIFY2(run.result().message.startsWith(QStringLiteral("ERROR 57: COM1 (")), qPrintable(run.result().message));
        QVERIFY(!run.transfer.running());
    }
};

VORNEXA_TEST_MAIN(TestSend)
#include "tst_comm_send.moc"
