#include "capturefile.h"
#include "faults.h"
#include "machinefolder.h"
#include "ptypair.h"
#include "scriptrun.h"
#include "sendframing.h"
#include "testenv.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>

namespace {

comm::MachineProfile mill()
{
    comm::MachineProfile p = comm::newProfile(QStringLiteral("Mill"));
    p.eob = "\r\n";
    p.bof = "%";
    p.bofeob = 1;
    p.eof = "%";
    return p;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        emptyRunFolders();
        comm::MachineFolder::standard().write(mill());
    }

    // Installed, the program finds its control and keeps its folder in the user's data folder,
    // never beside itself; its help lists its forms and exit codes, each form in its manual page.
    void installed()
    {
        const QString prefix = testEnvironment().path(QStringLiteral("prefix"));
        QProcess install;
        install.start(QStringLiteral(VORNEXA_CMAKE), {QStringLiteral("--install"), QStringLiteral(VORNEXA_BUILD_DIR),
                                                      QStringLiteral("--prefix"), prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        for (const char *file : {"share/applications/vornexa.desktop", "share/icons/hicolor/scalable/apps/vornexa.svg",
                                 "share/mime/packages/vornexa-programs.xml", "share/vornexa/help/contents.htm"})
            QVERIFY2(QFileInfo::exists(prefix + QLatin1Char('/') + QLatin1String(file)), file);
        // The DNC server's unit starts the program installed.
        QVERIFY(readBytes(prefix + QStringLiteral("/share/vornexa/vornexa-dnc.service"))
                    .contains("\nExecStart=" + QFile::encodeName(prefix) + "/bin/vornexa --dnc\n"));

        const QString home = testEnvironment().path(QStringLiteral("user"));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("VORNEXA_HOME"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("HOME"), home);
        run.setProcessEnvironment(env);
        run.start(prefix + QStringLiteral("/bin/vornexa"), {QStringLiteral("--help")});
        QVERIFY(run.waitForFinished(30000));
        const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
        QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());
        for (const char *form : {"vornexa [PROGRAM]", "vornexa --send MACHINE PROGRAM",
                                 "vornexa --receive MACHINE OUTPUT [--idle SECONDS]", "vornexa --help", "Exit codes"})
            QVERIFY2(out.contains(QLatin1String(form)), form);
        QVERIFY2(out.contains(home + QStringLiteral("/.local/share/vornexa/m")), qPrintable(out));
        QVERIFY(!QFileInfo::exists(prefix + QStringLiteral("/bin/m")));

        QFile man(QStringLiteral(VORNEXA_MAN_PAGE));
        QVERIFY(man.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(man.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
        const QRegularExpression form(QStringLiteral("^  vornexa (--[a-z]+)"), QRegularExpression::MultilineOption);
        int forms = 0;
        for (QRegularExpressionMatchIterator it = form.globalMatch(out); it.hasNext(); ++forms) {
            const QString verb = it.next().captured(1);
            QVERIFY2(page.contains(QStringLiteral(".B vornexa ") + verb), qPrintable(verb));
        }
        QVERIFY(forms >= 4);
    }

    // What is refused before anything is sent, and a port that cannot be opened.
    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("told");
        const QString program = writeTestFile(QStringLiteral("part.nc"), "N10 G00 X0\r\n");
        const QString out = testEnvironment().path(QStringLiteral("out.nc"));
        QTest::newRow("send without a program") << QStringList{"--send", "Mill"} << 2
                                                << "Usage: vornexa --send MACHINE PROGRAM";
        QTest::newRow("no such machine") << QStringList{"--send", "Lathe", program} << 2 << "there is no machine \"Lathe\"";
        QTest::newRow("no such program") << QStringList{"--send", "Mill", program + ".gone"} << 2
                                         << "there is no program file";
        QTest::newRow("idle not a number") << QStringList{"--receive", "Mill", out, "--idle", "ten"} << 2
                                           << "--idle takes a whole number";
        QTest::newRow("output into no folder") << QStringList{"--receive", "Mill", out + ".d/x.nc"} << 2
                                               << "its folder does not exist";
        QTest::newRow("a port that does not exist") << QStringList{"--send", "Mill", program} << 1
                                                    << "ERROR 8002: Invalid port number: COM1 is /dev/vornexa-no-such-port";
        QTest::newRow("a record length no record holds is said") << QStringList{"--send", "Mill", program} << 1
                                                                 << "The record length setting is refused and stays 500";
        QTest::newRow("a DNC server with no machine to serve") << QStringList{"--dnc"} << 2
                                                               << "no machine is set to be served (dnc.enabled=yes";
        QTest::newRow("a DNC server for a machine that is not there") << QStringList{"--dnc", "--machines", "Mill,Lathe"} << 2
                                                                      << "there is no machine \"Lathe\"";
        QTest::newRow("a restart with no line") << QStringList{"--restart", program, "-o", out} << 2
                                                << "--from takes the number of the line to restart at, from 1.";
        QTest::newRow("a restart with no output") << QStringList{"--restart", program, "--from", "1"} << 2
                                                  << "-o takes the file to write the restart program to.";
        QTest::newRow("a send from line nought") << QStringList{"--send", "Mill", program, "--from", "0"} << 2
                                                 << "--from takes the number of the line to restart at, from 1.";
        const QString comp = writeTestFile(QStringLiteral("comp.nc"), "G21 G90\nG0 X0 Y0 Z1\nG41 D1 G1 X10 F100\nY10\nG40 X0\nM2\n");
        QTest::newRow("a restart under cutter compensation") << QStringList{"--restart", comp, "--from", "4", "-o", out} << 1
                                                             << "line 4 is under cutter compensation";
        QTest::newRow("a send from a line under cutter compensation") << QStringList{"--send", "Mill", comp, "--from", "4"} << 1
                                                                      << "line 4 is under cutter compensation";
    }
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, told);
        storeSetting(QStringLiteral("PORTS/COM1"), QStringLiteral("/dev/vornexa-no-such-port"));
        if (told.contains(QLatin1String("record length")))
            storeSetting(QStringLiteral("IO/RECLEN"), QStringLiteral("2147483647"));
        ScriptRun run(arguments);
        QCOMPARE(run.exitCode(), exitCode);
        const QString err = run.err();
        QVERIFY2(err.contains(told), qPrintable(err));
        QCOMPARE(QDir(qEnvironmentVariable("VORNEXA_HOME")).entryList({QStringLiteral("*.qen.tmp")}), QStringList());
        QVERIFY(!QFileInfo::exists(testEnvironment().path(QStringLiteral("out.nc"))));
    }

    // A program sent whole, in the bytes the Send window sends for All Lines, with no progress when
    // stderr is no terminal; then the restart of another from a line, written to a file and sent:
    // the machine gets that file's lines byte for byte, framed as a program is.
    void sendWholeThenARestart()
    {
        PtyPair pty;
        storeSetting(QStringLiteral("PORTS/COM1"), pty.slavePath());
        ScriptRun whole({QStringLiteral("--send"), QStringLiteral("Mill"),
                         writeTestFile(QStringLiteral("whole.nc"), "O1000\r\nN10 G00 X0\nN20 M30\r\n")});
        QCOMPARE(whole.exitCode(), 0);
        const QByteArray first = comm::wholeSend(mill(), {}, {"O1000", "N10 G00 X0", "N20 M30"});
        QTRY_COMPARE(pty.received(), first);
        QCOMPARE(whole.err(), QString());

        const QString program = writeTestFile(QStringLiteral("part.nc"), "%\r\nG21 G90 G55\r\nT3 M6\r\nS800 M3\r\nG0 X5 Y5 Z2\r\n"
                                                                          "G1 Z-1 F120\r\nX25\r\nY25\r\nM30\r\n%\r\n");
        const QString out = testEnvironment().path(QStringLiteral("rest.nc"));
        ScriptRun written({QStringLiteral("--restart"), program, QStringLiteral("--from"), QStringLiteral("8"), QStringLiteral("-o"), out});
        QCOMPARE(written.exitCode(), 0);
        QVERIFY2(written.out().contains(QLatin1String("from line 8 to")), qPrintable(written.err()));
        const QByteArray text = readBytes(out);
        QVERIFY(text.startsWith("%\r\n(RESTART AT LINE 8)\r\n") && text.endsWith("\r\nY25\r\nM30\r\n%\r\n"));
        QVERIFY(text.contains("\r\nG55\r\n") && text.contains("\r\nT3 M6\r\n") && text.contains("\r\nS800 M3\r\n"));
        ScriptRun sent({QStringLiteral("--send"), QStringLiteral("Mill"), program, QStringLiteral("--from"), QStringLiteral("8")});
        QCOMPARE(sent.exitCode(), 0);
        QList<QByteArray> lines = text.split('\n');
        lines.removeLast();
        for (QByteArray &line : lines)
            line.chop(1);
        QTRY_COMPARE(pty.received(), first + comm::wholeSend(mill(), {}, lines));
        QVERIFY2(sent.out().contains(QLatin1String("the restart of")), qPrintable(sent.err()));
        QCOMPARE(QDir(qEnvironmentVariable("VORNEXA_HOME")).entryList({QStringLiteral("*.qen.tmp"), QStringLiteral("*.restart")}), QStringList());
    }

    // Two programs compared as programs: a rewritten copy is the same; a changed word, a row for it.
    void compareTwoPrograms()
    {
        const QString a = writeTestFile(QStringLiteral("a.nc"), "N10 G0 X1. Y2\r\nN20 G1 Z-1 F100\r\nM30\r\n");
        const QString b = writeTestFile(QStringLiteral("b.nc"), "n5 g0 x1.000 y2.0\nN6 G1 Z-1.0 F100\nM30\n");
        const QString c = writeTestFile(QStringLiteral("c.nc"), "G0 X1 Y2\r\nG1 Z-1.2 F100\r\nM30\r\n");
        ScriptRun same({QStringLiteral("--compare"), a, b});
        QCOMPARE(same.exitCode(), 0);
        QCOMPARE(same.out(), QStringLiteral("identical\n"));
        ScriptRun differ({QStringLiteral("--compare"), a, c});
        QCOMPARE(differ.exitCode(), 1);
        QCOMPARE(differ.out(), QStringLiteral("changed A 2 B 2\n    < N20 G1 {Z-1} F100\n    > G1 {Z-1.2} F100\n1 difference\n"));
        ScriptRun within({QStringLiteral("--compare"), a, c, QStringLiteral("--tolerance"), QStringLiteral("0.25")});
        QCOMPARE(within.exitCode(), 0);
        ScriptRun plain({QStringLiteral("--compare"), a, b, QStringLiteral("--plain")});
        QCOMPARE(plain.exitCode(), 1);
        QVERIFY(plain.out().endsWith(QLatin1String("1 difference\n")));
        ScriptRun bad({QStringLiteral("--compare"), a, QStringLiteral("--tolerance"), QStringLiteral("-1"), c});
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY2(bad.err().contains(QLatin1String("--tolerance takes a number from 0")), qPrintable(bad.err()));
        QCOMPARE(QDir(qEnvironmentVariable("VORNEXA_HOME")).entryList({QStringLiteral("*.qen.tmp")}), QStringList());
    }

    // Two receives at once, from two machines on two ports into two outputs: each output holds what
    // its own machine sent, byte for byte.
    void twoReceivesAtOnce()
    {
        PtyPair mill;
        PtyPair lathe;
        comm::MachineProfile second = ::mill();
        second.name = QStringLiteral("Lathe");
        second.comPort = 2;
        comm::MachineFolder::standard().write(second);
        storeSetting(QStringLiteral("PORTS/COM1"), mill.slavePath());
        storeSetting(QStringLiteral("PORTS/COM2"), lathe.slavePath());
        const QString outMill = testEnvironment().path(QStringLiteral("mill.nc"));
        const QString outLathe = testEnvironment().path(QStringLiteral("lathe.nc"));
        ScriptRun first({QStringLiteral("--receive"), QStringLiteral("Mill"), outMill, QStringLiteral("--idle"), QStringLiteral("2")});
        ScriptRun other({QStringLiteral("--receive"), QStringLiteral("Lathe"), outLathe, QStringLiteral("--idle"), QStringLiteral("2")});
        QTRY_VERIFY_WITH_TIMEOUT(mill.slaveOpen() && lathe.slaveOpen(), 10000);
        QByteArray milled;
        QByteArray turned;
        for (int k = 1; k <= 2000; ++k) {
            milled += "N" + QByteArray::number(k) + " G01 X" + QByteArray::number(k) + "\r\n";
            turned += "N" + QByteArray::number(k) + " G00 Z-" + QByteArray::number(k) + "\r\n";
        }
        mill.writeInChunks(milled, 4096, 1);
        lathe.writeInChunks(turned, 4096, 1);
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(readBytes(outMill), milled);
        QCOMPARE(readBytes(outLathe), turned);
    }

    // A capture its file cannot take leaves the output as it was and says how much was captured.
    void aCaptureCutShortKeepsThePreviousOutput()
    {
        PtyPair pty;
        storeSetting(QStringLiteral("PORTS/COM1"), pty.slavePath());
        const QString out = testEnvironment().path(QStringLiteral("kept.nc"));
        writeBytes(out, "OLD\r\n");
        FileSizeLimit limit(3000); // the job inherits it: its capture cannot grow past it
        if (!limit.ok())
            QSKIP("no file-size limit can be set here");
        ScriptRun run({QStringLiteral("--receive"), QStringLiteral("Mill"), out, QStringLiteral("--idle"), QStringLiteral("5")});
        QTRY_VERIFY_WITH_TIMEOUT(pty.slaveOpen(), 10000);
        pty.write(QByteArray(8000, 'X') + "\r\n");
        QCOMPARE(run.exitCode(), 1);
        const QString err = run.err();
        QVERIFY2(err.contains(QStringLiteral("File too large")) && err.contains(QStringLiteral("was left as it was")),
                 qPrintable(err));
        QCOMPARE(readBytes(out), QByteArray("OLD\r\n"));
    }

    // A name that is no valid text in the system's encoding would name another file: it is refused,
    // and nothing is written under either name.
    void aNameOfBytesNoTextHoldsIsRefused()
    {
        const QByteArray folder = QFile::encodeName(testEnvironment().path(QStringLiteral("bytes")));
        QDir(QFile::decodeName(folder)).removeRecursively();
        QVERIFY(QDir().mkpath(QFile::decodeName(folder)));
        const QByteArray out = folder + "/part\xff.nc";
        const QByteArray err = folder + "/err.txt";
        QByteArray exe(VORNEXA_EXE);
        char receive[] = "--receive";
        char machine[] = "Mill";
        char idle[] = "--idle";
        char one[] = "1";
        char *argv[] = {exe.data(), receive, machine, const_cast<char *>(out.constData()), idle, one, nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        QCOMPARE(posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 2);
        const QString told = QString::fromLocal8Bit(readBytes(QFile::decodeName(err)));
        QVERIFY2(told.contains(QStringLiteral("is not valid text in this system's encoding")), qPrintable(told));
        QCOMPARE(QDir(QFile::decodeName(folder)).entryList(QDir::Files), QStringList{QStringLiteral("err.txt")});
    }

    // SIGINT while the machine holds XOFF: the send stops at once, with no end text.
    void sendStopped()
    {
        PtyPair pty;
        storeSetting(QStringLiteral("PORTS/COM1"), pty.slavePath());
        comm::MachineProfile held = mill();
        held.handshake = 1;
        comm::MachineFolder::standard().write(held);
        QByteArray text;
        for (int k = 1; k <= 100000; ++k)
            text += "N" + QByteArray::number(k * 10) + " G01 X" + QByteArray::number(k) + ".5\r\n";
        ScriptRun run({QStringLiteral("--send"), QStringLiteral("Mill"), writeTestFile(QStringLiteral("long.nc"), text)});
        QTRY_VERIFY_WITH_TIMEOUT(pty.slaveOpen(), 10000);
        pty.xoff();
        QTRY_VERIFY(pty.receivedSize() > 0);
        ::kill(static_cast<pid_t>(run.process.processId()), SIGINT);
        QCOMPARE(run.exitCode(), 1);
        QVERIFY(run.err().contains(QLatin1String("vornexa: stopped by SIGINT after ")));
        pty.xon();
        QVERIFY(!pty.received().endsWith('%'));
        QCOMPARE(QDir(qEnvironmentVariable("VORNEXA_HOME")).entryList({QStringLiteral("*.qen.tmp")}), QStringList());
    }

    // The DNC server serves the machines its setups enable until SIGTERM, which cancels a send the
    // machine holds by XOFF (its drip feed puts XON/XOFF on a line of none) and keeps a capture
    // that has begun as FAILED_...; meanwhile --dnc-status tells what each does, and a second
    // server for the same folder is refused.
    void dncServerUntilSigterm()
    {
        PtyPair mill;
        PtyPair lathe;
        storeSetting(QStringLiteral("PORTS/COM1"), mill.slavePath());
        storeSetting(QStringLiteral("PORTS/COM2"), lathe.slavePath());
        comm::MachineProfile second = ::mill();
        second.name = QStringLiteral("Lathe");
        second.comPort = 2;
        const comm::MachineFolder machines = comm::MachineFolder::standard();
        machines.write(second);
        interp::MachineSetup setup;
        setup.dnc.enabled = true;
        setup.dnc.requestDelay = 0.1;
        setup.dnc.dripFeed = true;
        machines.writeSetup(QStringLiteral("Mill"), setup);
        setup.dnc.dripFeed = false;
        machines.writeSetup(QStringLiteral("Lathe"), setup);
        QByteArray text;
        for (int k = 1; k <= 20000; ++k)
            text += "G01 X" + QByteArray::number(k) + ".5\r\n";
        const QString folder = programPath(QStringLiteral("dnc/Mill"));
        QDir().mkpath(folder);
        writeBytes(folder + QStringLiteral("/O0001.nc"), text);

        ScriptRun server({QStringLiteral("--dnc")});
        QTRY_VERIFY_WITH_TIMEOUT(mill.slaveOpen() && lathe.slaveOpen(), 10000);
        ScriptRun twice({QStringLiteral("--dnc")});
        QCOMPARE(twice.exitCode(), 1);
        QVERIFY2(twice.err().contains(QLatin1String("serves %1 already").arg(programPath())), qPrintable(twice.err()));
        mill.xoff();
        mill.write("(REQ O0001)\r\n");
        const QByteArray begun = "%\r\nO0005\r\nG0 X1\r\n";
        lathe.write(begun);
        const auto statusNow = [] {
            ScriptRun run({QStringLiteral("--dnc-status")});
            return run.exitCode() == 0 ? run.out() : run.err();
        };
        QString status;
        QTRY_VERIFY2_WITH_TIMEOUT((status = statusNow()).contains(QLatin1String("Mill: waiting for XON (sending O0001.nc")) &&
                                      status.contains(QLatin1String("Lathe: receiving 17 characters")),
                                  qPrintable(status + server.out()), 10000);

        ::kill(static_cast<pid_t>(server.process.processId()), SIGTERM);
        QCOMPARE(server.exitCode(), 0);
        const QString log = server.out();
        QVERIFY2(log.contains(QLatin1String("Mill: the send of O0001.nc was cancelled after")), qPrintable(log));
        QVERIFY2(log.contains(QLatin1String("Lathe: a capture failed: the server was stopped while it arrived")), qPrintable(log));
        const QDir received(programPath(QStringLiteral("dnc/Lathe/received")));
        const QStringList failed = received.entryList({QStringLiteral("FAILED_Lathe_*")}, QDir::Files);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(readBytes(received.filePath(failed.first())), begun);
        QVERIFY(readBytes(programPath(QStringLiteral("dnc/Lathe/dnc.log"))).contains("Lathe: stopped\n"));
        ScriptRun after({QStringLiteral("--dnc-status")});
        QCOMPARE(after.exitCode(), 1);
        QVERIFY(after.err().contains(QLatin1String("no DNC server is running")));
        QCOMPARE(QDir(qEnvironmentVariable("VORNEXA_HOME")).entryList({QStringLiteral("*.qen.tmp")}), QStringList());
    }

    // A capture ends when the line is quiet for the idle time, or at SIGINT, or at SIGTERM before
    // anything came (exit 1, and no file).
    void receive()
    {
        const struct
        {
            QStringList idle;
            int signal; // 0: none
            QByteArray sent;
        } captures[] = {{{"--idle", "1"}, 0, "N10\r\nN20\r"}, {{}, SIGINT, "N10\r\nN20\r\n"}, {{}, SIGTERM, {}}};
        for (const auto &[idle, signal, sent] : captures) {
            PtyPair pty;
            storeSetting(QStringLiteral("PORTS/COM1"), pty.slavePath());
            const QString out = testEnvironment().path(QStringLiteral("captured.nc"));
            QFile::remove(out);
            QFile::remove(comm::capturePath());
            ScriptRun run(QStringList{QStringLiteral("--receive"), QStringLiteral("Mill"), out} + idle);
            QTRY_VERIFY_WITH_TIMEOUT(pty.slaveOpen(), 10000);
            // A form without a window runs on no platform at all: no platform plugin is loaded.
            QFile maps(QStringLiteral("/proc/%1/maps").arg(run.process.processId()));
            QVERIFY(maps.open(QIODevice::ReadOnly));
            const QByteArray mapped = maps.readAll();
            QVERIFY(mapped.contains("libQt6Core"));
            QVERIFY2(!mapped.contains("/platforms/"), "a platform plugin is loaded");
            pty.write(sent);
            if (signal) {
                // Everything has arrived but what is held back: at most one character of a CR LF.
                QTRY_VERIFY(readBytes(comm::capturePath()).size() >= sent.size() - 1);
                ::kill(static_cast<pid_t>(run.process.processId()), signal);
            }
            QCOMPARE(run.exitCode(), sent.isEmpty() ? 1 : 0);
            if (sent.isEmpty()) {
                QVERIFY(!QFileInfo::exists(out));
                QVERIFY(run.err().contains(QLatin1String("Nothing Received")));
            } else {
                QCOMPARE(readBytes(out), sent);
            }
        }
    }
};

VORNEXA_TEST_MAIN(TestCommandLine)
#include "tst_app_cli.moc"
