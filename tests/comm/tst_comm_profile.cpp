#include "machinefields.h"
#include "machinefolder.h"
#include "machinesetupfor.h"
#include "notation.h"
#include "ptypair.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QDir>

using comm::EobChoice;
using comm::MachineFolder;
using comm::MachineProfile;

Q_DECLARE_METATYPE(comm::MachineProfile)

namespace {

// Every control character, 0 to 31.
QByteArray allControls()
{
    QByteArray bytes;
    for (int code = 0; code < 32; ++code)
        bytes.append(static_cast<char>(code));
    return bytes;
}

MachineFolder freshFolder()
{
    const QString path = testEnvironment().path(QStringLiteral("m"));
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return MachineFolder(path);
}

} // namespace

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    void newMillIsItsBytes()
    {
        const MachineFolder folder = freshFolder();
        folder.create(QStringLiteral("Mill"));
        const QByteArray expected = QByteArray("\x04\x00Mill\x00\x00\x0a\x00" "9600,N,8,1\x00\x01\x01\x00\x0a\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 35);
        QCOMPARE(readBytes(folder.fileOf(QStringLiteral("Mill"))), expected);
        QCOMPARE(folder.names(), QStringList{QStringLiteral("Mill")});

        const MachineProfile read = folder.read(QStringLiteral("Mill"));
        QCOMPARE(read, comm::newProfile(QStringLiteral("Mill"))); // every field
        QCOMPARE(comm::profileSummary(read),
                 QStringLiteral("Mill\r\nCOM1\r\nHandshake: None\r\nEOB Character: (LF)\r\nBaud Rate: 9600\r\n"
                                "Parity: N\r\nData Bits: 8\r\nStop Bits: 1\r\nSpecial Beginning of File: \r\n"
                                "Special End of File: "));
    }

    void roundTrips_data()
    {
        QTest::addColumn<MachineProfile>("profile");
        MachineProfile controls;
        controls.name = QStringLiteral("Lathe\x01\x1f");
        controls.comments = QString::fromLatin1(allControls() + "\xe9\xff");
        controls.settings = QStringLiteral("38400,E,7,2\t");
        controls.handshake = 3;
        controls.comPort = 16;
        controls.eob = allControls();
        controls.bof = "%" + allControls();
        controls.bofeob = 1;
        controls.eof = QByteArray("\0M30\x7f\x80", 6);
        controls.eofeob = 1;
        controls.strippit = 1;
        QTest::newRow("control characters in every text") << controls;
        MachineProfile odd;
        odd.name = QStringLiteral("Odd");
        odd.strippit = -2;
        odd.handshake = 255;
        odd.comPort = 0;
        odd.eob.clear();
        QTest::newRow("values the window never writes") << odd;
    }

    // Through the file and back, and through the window's fields (texts in the notation) and back.
    void roundTrips()
    {
        QFETCH(MachineProfile, profile);
        QCOMPARE(comm::decodeProfile(comm::encodeProfile(profile), QStringLiteral("x")), profile);
        const MachineFolder folder = freshFolder();
        folder.write(profile);
        QCOMPARE(folder.read(profile.name), profile);

        const comm::ManageFields fields = comm::fieldsOf(profile);
        QVERIFY(!fields.bof.contains(QChar(13)));
        MachineProfile back = comm::profileFromFields(fields, profile);
        back.strippit = profile.strippit; // the window writes only 1 or 0
        QCOMPARE(back, profile);
    }

    void damagedFiles()
    {
        const MachineFolder folder = freshFolder();
        const QByteArray mill = comm::encodeProfile(comm::newProfile(QStringLiteral("Mill")));
        // Every record cut short is refused with a message naming the file, never read half.
        for (qsizetype length = 0; length < mill.size(); ++length) {
            writeBytes(folder.fileOf(QStringLiteral("Short")), mill.left(length));
            const QString failure = failureOf([&] { folder.read(QStringLiteral("Short")); });
            QVERIFY2(failure.startsWith(QStringLiteral("62: The machine file ") + folder.fileOf(QStringLiteral("Short")) +
                                        QStringLiteral(" is damaged: ")),
                     qPrintable(QStringLiteral("%1 bytes: %2").arg(length).arg(failure)));
        }
        writeBytes(folder.fileOf(QStringLiteral("Long")), QByteArray("\xff\xff", 2) + "Mill");
        QCOMPARE(failureOf([&] { folder.read(QStringLiteral("Long")); }),
                 QStringLiteral("62: The machine file %1 is damaged: the name field runs past the end of the file "
                                "(65535 bytes given, 4 left).")
                     .arg(folder.fileOf(QStringLiteral("Long"))));
        writeBytes(folder.fileOf(QStringLiteral("Tail")), mill + "more");
        QCOMPARE(folder.read(QStringLiteral("Tail")).settings, QStringLiteral("9600,N,8,1"));
        QCOMPARE(failureOf([&] { folder.read(QStringLiteral("Nothing")); }), QStringLiteral("53: Machine does not exist."));
    }

    // A profile's line settings and handshake are usable (4 data bits too), or the problem is said.
    void problems()
    {
        const struct
        {
            const char *settings;
            int handshake;
            QString problem;
        } profiles[] = {{"9600,N,8,1", 3, QString()},
                        {"110,S,4,1.5", 0, QString()},
                        {"9600,N,8", 0, QStringLiteral("Machine \"M\" cannot be used: The line settings \"9600,N,8\" are not "
                                                       "four items: baud rate, parity, data bits and stop bits, as in \"9600,N,8,1\".")},
                        {"9600,N,8,1", 4, QStringLiteral("Machine \"M\" cannot be used: its handshake 4 is not one of 0 to 3.")}};
        for (const auto &c : profiles) {
            MachineProfile p = comm::newProfile(QStringLiteral("M"));
            p.settings = QLatin1String(c.settings);
            p.handshake = static_cast<quint8>(c.handshake);
            QCOMPARE(comm::profileProblem(p).value_or(QString()), c.problem);
            QCOMPARE(comm::checkSettingsText(p.settings).has_value(), !c.problem.isEmpty() && c.handshake <= 3);
        }
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("failure");
        QTest::newRow("ordinary") << "Haas VF-2 (shop 1)" << QString();
        QTest::newRow("Latin-1") << "Fr\u00e4se" << QString();
        QTest::newRow("empty") << "" << "52: A machine needs a name.";
        QTest::newRow("slash") << "a/b" << "52: A machine name cannot hold \"/\" or the NUL character.";
        QTest::newRow("NUL") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                             << "52: A machine name cannot hold \"/\" or the NUL character.";
        QTest::newRow("dot") << ".hidden" << "52: A machine name cannot start with \".\".";
        QTest::newRow("past Latin-1") << "\u94e3" << "52: A machine name cannot hold the character \"\u94e3\".";
        QTest::newRow("too long") << QString(252, QLatin1Char('x')) << "52: A machine name can be at most 251 characters long.";
        QTest::newRow("taken") << "Mill" << "58: Sorry you already have a machine with that name.";
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, failure);
        const MachineFolder folder = freshFolder();
        folder.create(QStringLiteral("Mill"));
        QCOMPARE(failureOf([&] { folder.create(name); }), failure);
        QCOMPARE(folder.names().size(), failure.isEmpty() ? 2 : 1);
    }

    void updateRenameRemove()
    {
        const MachineFolder folder = freshFolder();
        MachineProfile mill = folder.create(QStringLiteral("Mill"));
        folder.create(QStringLiteral("Lathe"));

        mill.comments = QStringLiteral("in place");
        folder.update(QStringLiteral("Mill"), mill);
        QCOMPARE(folder.read(QStringLiteral("Mill")).comments, QStringLiteral("in place"));

        MachineProfile renamed = mill;
        renamed.name = QStringLiteral("Lathe");
        QCOMPARE(failureOf([&] { folder.update(QStringLiteral("Mill"), renamed); }),
                 QStringLiteral("58: Sorry, that name is already in use. Machine will not be saved."));
        QCOMPARE(folder.read(QStringLiteral("Mill")), mill);

        // A save that fails before the new file is complete keeps the old one whole.
        renamed.name = QStringLiteral("Router");
        renamed.comments = QStringLiteral("\u94e3");
        QVERIFY(!failureOf([&] { folder.update(QStringLiteral("Mill"), renamed); }).isEmpty());
        QCOMPARE(folder.read(QStringLiteral("Mill")), mill);

        renamed.comments = QStringLiteral("renamed");
        folder.update(QStringLiteral("Mill"), renamed);
        QCOMPARE(folder.names(), (QStringList{QStringLiteral("Lathe"), QStringLiteral("Router")}));
        QCOMPARE(folder.read(QStringLiteral("Router")), renamed);
        // Nothing but the profiles is left in the folder.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        folder.remove(QStringLiteral("Lathe"));
        folder.remove(QStringLiteral("Router"));
        QCOMPARE(folder.names(), QStringList());
    }

    // The setup lives in a file of its own: written and read back, carried along by a rename and
    // removed with its machine, and the profile's bytes never change for it.
    void setupBesideTheProfile()
    {
        const MachineFolder folder = freshFolder();
        folder.create(QStringLiteral("Mill"));
        const QByteArray profileBytes = readBytes(folder.fileOf(QStringLiteral("Mill")));
        QString warning = QStringLiteral("not cleared");
        QCOMPARE(folder.readSetup(QStringLiteral("Mill"), warning), interp::MachineSetup());
        QCOMPARE(warning, QString());

        interp::MachineSetup setup;
        setup.dialect = interp::Dialect::Grbl;
        setup.axes[2] = {true, -100, 0, 3000, 1500, 200};
        folder.writeSetup(QStringLiteral("Mill"), setup);
        QCOMPARE(folder.setupFileOf(QStringLiteral("Mill")), folder.path() + QStringLiteral("/Mill.setup"));
        QCOMPARE(readBytes(folder.setupFileOf(QStringLiteral("Mill"))), setup.encode());
        QCOMPARE(folder.readSetup(QStringLiteral("Mill"), warning), setup);
        QCOMPARE(readBytes(folder.fileOf(QStringLiteral("Mill"))), profileBytes);
        QCOMPARE(folder.names(), QStringList{QStringLiteral("Mill")}); // the list is the profiles only

        // Refused setups write nothing.
        interp::MachineSetup bad = setup;
        bad.axes[0].rapid = -5;
        QCOMPARE(failureOf([&] { folder.writeSetup(QStringLiteral("Mill"), bad); }),
                 QStringLiteral("380: The setup of machine \"Mill\" cannot be saved: X.rapid cannot be negative (it is -5)."));
        QCOMPARE(failureOf([&] { folder.writeSetup(QStringLiteral("Lathe"), setup); }),
                 QStringLiteral("53: Machine does not exist."));
        QCOMPARE(readBytes(folder.setupFileOf(QStringLiteral("Mill"))), setup.encode());
        QVERIFY(!QFileInfo::exists(folder.setupFileOf(QStringLiteral("Lathe"))));

        // A setup left of an earlier machine is no new machine's, whether made or renamed to.
        writeBytes(folder.setupFileOf(QStringLiteral("Lathe")), "lathe=yes\n");
        writeBytes(folder.setupFileOf(QStringLiteral("Router")), "lathe=yes\n");
        folder.create(QStringLiteral("Lathe"));
        QCOMPARE(folder.readSetup(QStringLiteral("Lathe"), warning), interp::MachineSetup());
        MachineProfile lathe = folder.read(QStringLiteral("Lathe"));
        lathe.name = QStringLiteral("Router");
        folder.update(QStringLiteral("Lathe"), lathe);
        QCOMPARE(folder.readSetup(QStringLiteral("Router"), warning), interp::MachineSetup());
        QVERIFY(!QFileInfo::exists(folder.setupFileOf(QStringLiteral("Router"))));

        // A rename that fails keeps the machine and its setup as they were.
        MachineProfile renamed = folder.read(QStringLiteral("Mill"));
        renamed.name = QStringLiteral("Haas");
        renamed.comments = QStringLiteral("\u94e3");
        QVERIFY(!failureOf([&] { folder.update(QStringLiteral("Mill"), renamed); }).isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("Mill.qen"), QStringLiteral("Mill.setup"), QStringLiteral("Router.qen")}));

        renamed.comments.clear();
        folder.update(QStringLiteral("Mill"), renamed);
        QCOMPARE(folder.readSetup(QStringLiteral("Haas"), warning), setup);
        QCOMPARE(readBytes(folder.fileOf(QStringLiteral("Haas"))).mid(6), profileBytes.mid(6)); // past the name
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("Haas.qen"), QStringLiteral("Haas.setup"), QStringLiteral("Router.qen")}));

        folder.remove(QStringLiteral("Haas"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Router.qen")});
    }

    // A damaged setup is not used: the defaults are, and the warning names the file and the fault.
    void damagedSetup()
    {
        const MachineFolder folder = freshFolder();
        folder.create(QStringLiteral("Haas"));
        const QByteArray damaged = "dialect=fanuc\r\nlathe=no\r\n\r\nX.max=abc\r\n";
        writeBytes(folder.setupFileOf(QStringLiteral("Haas")), damaged);
        QString warning;
        QCOMPARE(folder.readSetup(QStringLiteral("Haas"), warning), interp::MachineSetup());
        QCOMPARE(warning, QStringLiteral("The setup of machine Haas (%1) is damaged: line 4: 'X.max=abc': abc is not a "
                                         "number; the defaults are used.")
                              .arg(folder.setupFileOf(QStringLiteral("Haas"))));
        QCOMPARE(readBytes(folder.setupFileOf(QStringLiteral("Haas"))), damaged); // left for the machinist to mend
    }

    // With no machine, the motion of Options and no limits; with one, its own setup.
    void machineSetupFor()
    {
        emptyRunFolders();
        QString warning;
        QCOMPARE(comm::machineSetupFor(QString(), SettingsStore(QStringLiteral("VORNEXA")), warning), interp::MachineSetup());
        QCOMPARE(warning, QString());

        storeSetting(QStringLiteral("MOTION/DIALECT"), QStringLiteral("fanuc"));
        storeSetting(QStringLiteral("MOTION/RAPID"), QStringLiteral("12000.5"));
        storeSetting(QStringLiteral("MOTION/ACCEL"), QStringLiteral("250"));
        interp::MachineSetup options;
        options.dialect = interp::Dialect::Fanuc;
        options.defaultRapid = 12000.5;
        options.defaultAccel = 250;
        const SettingsStore settings(QStringLiteral("VORNEXA"));
        QCOMPARE(comm::machineSetupFor(QString(), settings, warning), options);
        QCOMPARE(warning, QString());
        QCOMPARE(comm::machineSetupFor(QStringLiteral("Nope"), settings, warning), options);
        QCOMPARE(warning, QStringLiteral("There is no machine Nope."));

        const MachineFolder folder = MachineFolder::standard();
        folder.create(QStringLiteral("Mill"));
        QCOMPARE(comm::machineSetupFor(QStringLiteral("Mill"), settings, warning), interp::MachineSetup());
        interp::MachineSetup mill;
        mill.nDigits = 4;
        folder.writeSetup(QStringLiteral("Mill"), mill);
        QCOMPARE(comm::machineSetupFor(QStringLiteral("Mill"), settings, warning), mill);
        QCOMPARE(warning, QString());

        storeSetting(QStringLiteral("MOTION/DIALECT"), QStringLiteral("haas"));
        storeSetting(QStringLiteral("MOTION/RAPID"), QStringLiteral("-1"));
        QCOMPARE(comm::machineSetupFor(QString(), SettingsStore(QStringLiteral("VORNEXA")), warning).defaultAccel, 250.0);
        QCOMPARE(warning, QStringLiteral("Of the motion settings in Options, DIALECT \"haas\" is not linuxcnc, fanuc or "
                                         "grbl and RAPID \"-1\" is not a positive number; the defaults are used in their "
                                         "place."));
    }

    // The COM field takes 1 to 16, rounded, in decimal or hexadecimal; anything else is refused (0).
    void comField()
    {
        const std::pair<const char *, int> fields[] = {{"0", 0},     {"17", 0},   {"COM1", 0}, {" 16 ", 16},
                                                       {"2.5", 2},   {"16.2", 0}, {"&H10", 16}};
        for (const auto &[text, port] : fields)
            QVERIFY2(comm::comFieldPort(QLatin1String(text)).value_or(0) == port, text);
    }

    // Each choice (and Other's text) gives its end of block, and an end of block shows as its choice.
    void eobChoices()
    {
        const struct
        {
            int choice;
            const char *other;
            QByteArray eob;
            int shownChoice;
            const char *shownOther;
        } choices[] = {{1, "", "\n", 1, ""},         {2, "", "\r", 2, ""},
                       {3, "", "\n\r", 3, ""},       {4, "", "\r\n", 4, ""},
                       {5, "", "\n\r\r", 5, ""},     {6, "(CR)(LF)", "\r\n", 4, ""},
                       {6, "%(CR)(EOT)", "%\r\x04", 6, "%(CR)(EOT)"}, {6, "", QByteArray(), 6, ""}};
        for (const auto &c : choices) {
            QCOMPARE(comm::eobOfChoice(static_cast<EobChoice>(c.choice), QLatin1String(c.other)), c.eob);
            const comm::EobShown shown = comm::eobChoiceOf(c.eob);
            QCOMPARE(static_cast<int>(shown.choice), c.shownChoice);
            QCOMPARE(shown.otherText, QLatin1String(c.shownOther));
        }
    }

    // Update Changes: texts through the notation, and groups with no chosen option keep the loaded values.
    void profileFromFields()
    {
        MachineProfile loaded = comm::newProfile(QStringLiteral("Mill"));
        loaded.settings = QStringLiteral("4800,E,7,2");
        loaded.eob = "\r\n";
        loaded.handshake = 2;
        comm::ManageFields f = comm::fieldsOf(loaded);
        QCOMPARE(f.eob, EobChoice::CrLf);
        f.name = QStringLiteral("Mill 2");
        f.com = QStringLiteral("3");
        f.bof = QStringLiteral("%(CR)");
        f.bofeob = true;
        f.baud = QStringLiteral("19200");
        f.parity.clear();
        f.handshake = -1;
        f.eob = EobChoice::None;
        f.strippit = true;
        const MachineProfile p = comm::profileFromFields(f, loaded);
        QCOMPARE(p.name, QStringLiteral("Mill 2"));
        QCOMPARE(p.comPort, quint8(3));
        QCOMPARE(p.bof, QByteArray("%\r"));
        QCOMPARE(comm::fieldsOf(p).bof, QStringLiteral("%(CR)"));
        QCOMPARE(p.bofeob, quint8(1));
        QCOMPARE(p.settings, QStringLiteral("19200,E,7,2"));
        QCOMPARE(p.handshake, quint8(2));
        QCOMPARE(p.eob, QByteArray("\r\n"));
        QCOMPARE(p.strippit, 1);
        f.eof = QStringLiteral("\u94e3");
        QCOMPARE(failureOf([&] { comm::profileFromFields(f, loaded); }),
                 QStringLiteral("380: The end-of-file text field holds the character \"\u94e3\", which cannot be sent on a serial line."));
    }

    // Missing or empty keys read as the default devices; a change is written as the settings hold it.
    void portMapInSettings()
    {
        emptyRunFolders();
        storeSetting(QStringLiteral("PORTS/COM3"), QString());
        SettingsStore settings(QStringLiteral("VORNEXA"));
        comm::PortMap map = comm::PortMap::read(settings);
        QCOMPARE(map, comm::PortMap());
        QCOMPARE(map.device(3), QStringLiteral("/dev/ttyS2"));
        map.setDevice(16, QStringLiteral("/dev/ttyUSB0"));
        map.write(settings);
        settings.sync();
        QCOMPARE(storedSetting(QStringLiteral("PORTS/COM16")), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(comm::PortMap::read(SettingsStore(QStringLiteral("VORNEXA"))), map);
    }
};

VORNEXA_TEST_MAIN(TestProfile)
#include "tst_comm_profile.moc"
