#include "dncfiles.h"
#include "dncserver.h"
#include "ptypair.h"
#include "sendframing.h"
#include "testenv.h"

#include <QDir>
#include <QSignalSpy>

using comm::DncServer;

namespace {

comm::MachineProfile machine(const QString &name, int com)
{
    comm::MachineProfile p = comm::newProfile(name);
    p.comPort = quint8(com);
    p.eob = "\r\n";
    p.bof = "%";
    p.bofeob = 1;
    p.eof = "%";
    p.eofeob = 1;
    return p;
}

interp::DncSetup quick()
{
    interp::DncSetup s;
    s.requestDelay = 0.1;
    s.quietSeconds = 0.5;
    return s;
}

QString folderOf(const QString &machine, const QString &sub = QString())
{
    const QString path = programPath(QStringLiteral("dnc/") + machine + (sub.isEmpty() ? QString() : QLatin1Char('/') + sub));
    QDir().mkpath(path);
    return path;
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// A server over the machines, its log collected; started, and stopped when it goes.
struct Running
{
    std::unique_ptr<DncServer> server;
    QStringList log;

    Running(std::vector<comm::DncMachine> machines, const comm::PortMap &ports)
    {
        server = std::make_unique<DncServer>(std::move(machines), ports, programPath());
        QObject::connect(server.get(), &DncServer::logged, [this](const QString &line) { log << line; });
        QString why;
        if (!server->start(why))
            qFatal("the server did not start: %s", qPrintable(why));
    }
    ~Running()
    {
        if (QTest::currentTestFailed())
            qInfo().noquote() << log.join(QLatin1Char('\n'));
        QSignalSpy stopped(server.get(), &DncServer::stopped);
        server->stop();
        if (stopped.isEmpty())
            stopped.wait(5000);
    }
    bool logged(const QString &text) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString &line) { return line.contains(text); });
    }
};

} // namespace

class TestDnc : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<comm::TransferResult>(); }
    void init() { emptyRunFolders(); }

    // What a request names, and the file it finds among the machine's programs; names that would
    // reach outside the folder are refused.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found");
        QTest::newRow("PRG, the name as given, in another case") << QByteArray("%\r\n(PRG=o1234.NC)\r\n") << "o1234.NC" << "O1234.nc";
        QTest::newRow("REQ, with the extension") << QByteArray("(req part7)\r\n") << "part7" << "part7.nc";
        QTest::newRow("O9999, the number on the next line, padded") << QByteArray("%\r\nO9999\r\n(O12)\r\nM30\r\n")
                                                                   << "12" << "O0012.nc";
        QTest::newRow("O9999, a program without the extension") << QByteArray("O9999 (77)\n") << "77" << "O0077";
        QTest::newRow("a program is no request") << QByteArray("%\r\nO1234 (PRG)\r\nG0 X1\r\n") << QString() << QString();
        QTest::newRow("a name reaching out") << QByteArray("(PRG=../../etc/passwd)") << "../../etc/passwd" << QString();
        QTest::newRow("not there") << QByteArray("(REQ gone)") << "gone" << QString();
    }
    void requests()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, name);
        QFETCH(QString, found);
        const QString folder = folderOf(QStringLiteral("Mill"));
        for (const char *file : {"O1234.nc", "part7.nc", "O0012.nc", "O0077"})
            writeBytes(QDir(folder).filePath(QLatin1String(file)), "G0 X1\r\n");
        const interp::DncSetup setup;
        const std::optional<comm::DncRequest> request = comm::findRequest(setup, head);
        QCOMPARE(request ? request->name : QString(), name);
        if (!request)
            return;
        const comm::LocatedProgram located = comm::locateProgram(setup, *request, folder);
        QCOMPARE(QFileInfo(located.path).fileName(), found);
        QCOMPARE(located.reason.isEmpty(), !found.isEmpty());
    }

    // The name a capture is filed under, from its first lines.
    void captureNames_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("rule");
        QTest::addColumn<QString>("name");
        QTest::newRow("a program number, padded") << QByteArray("%\r\nO12 (BRACKET)\r\nG0 X1\r\n") << QByteArray("number") << "O0012.nc";
        QTest::newRow("Fanuc's colon") << QByteArray(":4711\r\n") << QByteArray("number") << "O4711.nc";
        QTest::newRow("a name first, by the name rule") << QByteArray("%\r\n<PART_A>\r\nO5\r\n") << QByteArray("name") << "PART_A.nc";
        QTest::newRow("a name, by the number rule") << QByteArray("O<PART_A>\r\nO5\r\n") << QByteArray("number") << "O0005.nc";
        QTest::newRow("no number") << QByteArray("(SETUP)\r\nG0 X1\r\n") << QByteArray("number") << QString();
        QTest::newRow("a name that cannot be a file's") << QByteArray("<../x>\r\n") << QByteArray("name") << QString();
    }
    void captureNames()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, rule);
        QFETCH(QString, name);
        interp::DncSetup setup;
        setup.fileName = rule;
        QCOMPARE(comm::captureFileName(setup, head), name);
    }

    // Each default pattern, sent by the machine over its line, gets the program it names back in
    // the machine's framing, byte for byte; two machines are served at once; a request for a
    // program that is not there sends nothing and says so.
    void requestsAreServed()
    {
        PtyPair mill;
        PtyPair lathe;
        comm::PortMap ports = mill.portMap(1);
        ports.setDevice(2, lathe.slavePath());
        const QByteArray part = "O1234 (PART)\r\nG0 X1 Y2\r\nG1 Z-1 F100\r\nM30\r\n";
        const QByteArray turned = "O0012\r\nG0 X20 Z1\r\nM30\r\n";
        writeBytes(QDir(folderOf(QStringLiteral("Mill"))).filePath(QStringLiteral("O1234.nc")), part);
        writeBytes(QDir(folderOf(QStringLiteral("Lathe"))).filePath(QStringLiteral("O0012.nc")), turned);
        const comm::MachineProfile millProfile = machine(QStringLiteral("Mill"), 1);
        const comm::MachineProfile latheProfile = machine(QStringLiteral("Lathe"), 2);
        interp::DncSetup fedAsItRuns = quick();
        fedAsItRuns.dripFeed = true;
        Running running({{millProfile, fedAsItRuns}, {latheProfile, quick()}}, ports);
        QTRY_VERIFY(mill.slaveOpen() && lathe.slaveOpen());

        mill.xoff(); // the machine holds what it is sent
        mill.write("%\r\n(PRG=O1234.nc)\r\nM30\r\n%\r\n");
        lathe.write("%\r\nO9999\r\n(12)\r\nM30\r\n%\r\n");
        QTRY_COMPARE(lathe.received(), comm::wholeSend(latheProfile, "O0012.nc", linesOf(turned)));
        QTRY_VERIFY(running.server->stations()[0]->state().startsWith(QLatin1String("sending O1234.nc")));
        // A request while the send runs waits for it.
        QCOMPARE(mill.received(), QByteArray());
        mill.write("(REQ O1234)\r\n");
        mill.xon();
        QTRY_COMPARE(mill.received(), comm::wholeSend(millProfile, "O1234.nc", linesOf(part)).repeated(2));
        QTRY_VERIFY(running.logged(QStringLiteral("Mill: sent O1234.nc (4 lines")));
        lathe.write("(REQ nothing)\r\n");
        QTRY_VERIFY(running.logged(QStringLiteral("Lathe: request for nothing: nothing was sent: there is no nothing.nc")));
        QTRY_VERIFY(running.logged(QStringLiteral("Lathe: sent")) && !running.server->stations()[1]->state().startsWith(QLatin1String("request")));
        QCOMPARE(lathe.received(), comm::wholeSend(latheProfile, "O0012.nc", linesOf(turned)));
        // The requests were not filed as programs.
        QCOMPARE(QDir(folderOf(QStringLiteral("Mill"), QStringLiteral("received"))).entryList(QDir::Files), QStringList());
    }

    // A program the machine sends is filed by its number, an earlier one of that number kept as
    // backup 1; one cut short by the line going quiet is kept as FAILED_... and replaces nothing.
    void capturesAreFiled()
    {
        PtyPair mill;
        Running running({{machine(QStringLiteral("Mill"), 1), quick()}}, mill.portMap(1));
        QTRY_VERIFY(mill.slaveOpen());
        const QString received = folderOf(QStringLiteral("Mill"), QStringLiteral("received"));
        const QString filed = QDir(received).filePath(QStringLiteral("O0077.nc"));

        const QByteArray first = "%\r\nO77 (FIRST)\r\nG0 X1\r\nM30\r\n%\r\n";
        mill.writeInChunks(first, 7, 5);
        QTRY_COMPARE(readBytes(filed), first);
        const QByteArray second = "%\r\nO77 (SECOND)\r\nG0 X2\r\nM30\r\n%\r\n";
        mill.write(second);
        QTRY_COMPARE(readBytes(filed), second);
        QCOMPARE(readBytes(filed + QStringLiteral(".1")), first);
        QVERIFY(running.logged(QStringLiteral("the earlier O0077.nc is kept as O0077.nc.1")));

        const QByteArray cut = "%\r\nO77 (THIRD)\r\nG1 X5 F100\r\n";
        mill.write(cut);
        QTRY_VERIFY(running.logged(QStringLiteral("a capture failed: the line went quiet before the end text %")));
        const QStringList failed = QDir(received).entryList({QStringLiteral("FAILED_Mill_*")}, QDir::Files);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(readBytes(QDir(received).filePath(failed.first())), cut);
        QCOMPARE(readBytes(filed), second);
        QVERIFY(!QFileInfo::exists(filed + QStringLiteral(".2")));
    }

    // A port that goes away is tried again until it is back, while the other machine goes on.
    void aPortRemovedAndPutBack()
    {
        auto first = std::make_unique<PtyPair>();
        PtyPair lathe;
        const QString link = testEnvironment().path(QStringLiteral("ttyMill"));
        QFile::remove(link);
        QVERIFY(QFile::link(first->slavePath(), link));
        comm::PortMap ports;
        ports.setDevice(1, link);
        ports.setDevice(2, lathe.slavePath());
        const QByteArray part = "G0 X1\r\nM30\r\n";
        writeBytes(QDir(folderOf(QStringLiteral("Mill"))).filePath(QStringLiteral("O0001.nc")), part);
        writeBytes(QDir(folderOf(QStringLiteral("Lathe"))).filePath(QStringLiteral("O0001.nc")), part);
        const comm::MachineProfile millProfile = machine(QStringLiteral("Mill"), 1);
        const comm::MachineProfile latheProfile = machine(QStringLiteral("Lathe"), 2);
        Running running({{millProfile, quick()}, {latheProfile, quick()}}, ports);
        QTRY_VERIFY(first->slaveOpen() && lathe.slaveOpen());

        first->hangUp();
        first.reset();
        QFile::remove(link);
        QTRY_VERIFY(running.logged(QStringLiteral("COM1 (%1) failed").arg(link)));
        QVERIFY(running.logged(QStringLiteral("trying again every 3 s")));
        lathe.write("(REQ O0001)\r\n");
        QTRY_COMPARE(lathe.received(), comm::wholeSend(latheProfile, "O0001.nc", linesOf(part)));

        PtyPair back;
        QVERIFY(QFile::link(back.slavePath(), link));
        QTRY_VERIFY_WITH_TIMEOUT(running.logged(QStringLiteral("Mill: COM1 (%1) is open again").arg(link)), 10000);
        back.write("(REQ O0001)\r\n");
        QTRY_COMPARE(back.received(), comm::wholeSend(millProfile, "O0001.nc", linesOf(part)));
    }
};

QTEST_GUILESS_MAIN(TestDnc)
#include "tst_comm_dnc.moc"
