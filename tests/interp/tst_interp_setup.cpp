#include "machinesetup.h"

#include <QtTest>

#include <limits>

using interp::MachineSetup;

Q_DECLARE_METATYPE(interp::MachineSetup)

class TestMachineSetup : public QObject
{
    Q_OBJECT

private slots:
    // Every key in its order, numbers the shortest way that reads back exactly; read back it is the
    // same setup, and written again the same bytes.
    void writtenAndReadBack()
    {
        MachineSetup s;
        s.dialect = interp::Dialect::Fanuc;
        s.lathe = true;
        s.nDigits = 5;
        s.spindleMax = 12000;
        s.toolChangeSeconds = 4.5;
        s.defaultRapid = 15000;
        s.retract = "G28 U0 W0";
        s.toolChange = "T#0# M6";
        s.axes[0] = {true, -0.1, 250.5, 20000, 0, 1e-7};
        s.axes[1].rapid = 1.0 / 3.0;
        s.axes[8].maxFeed = 1e20;
        s.dnc.enabled = true;
        s.dnc.programs = "/srv/nc/mill 2";
        s.dnc.requestDelay = 1.5;
        s.dnc.dripFeed = true;
        s.dnc.requests[3] = "number|/srv/nc/common|^:9000\\b.*\\((\\d+)\\)";
        const QByteArray golden =
            "dialect=fanuc\nlathe=yes\nnDigits=5\nspindleMax=12000\ntoolChangeSeconds=4.5\narcTolerance=0.002\n"
            "defaultRapid=15000\ndefaultAccel=500\nretract=G28 U0 W0\ntoolChange=T#0# M6\n"
            "dnc.enabled=yes\ndnc.programs=/srv/nc/mill 2\ndnc.received=\ndnc.extension=.nc\ndnc.requestLines=5\n"
            "dnc.requestDelay=1.5\ndnc.quietSeconds=10\ndnc.fileName=number\ndnc.digits=4\ndnc.backups=3\n"
            "dnc.dripFeed=yes\ndnc.request1=name||\\(PRG=([^)]+)\\)\n"
            "dnc.request2=extension||\\(REQ\\s+([^)\\s]+)\\s*\\)\n"
            "dnc.request3=number||^O0*9999\\b[^(]*\\(\\s*O?(\\d+)\\s*\\)\n"
            "dnc.request4=number|/srv/nc/common|^:9000\\b.*\\((\\d+)\\)\n"
            "dnc.request5=\ndnc.request6=\ndnc.request7=\ndnc.request8=\n"
            "X.limited=yes\nX.min=-0.1\nX.max=250.5\nX.rapid=20000\nX.maxFeed=0\nX.accel=1e-07\n"
            "Y.limited=no\nY.min=0\nY.max=0\nY.rapid=0.3333333333333333\nY.maxFeed=0\nY.accel=0\n"
            "Z.limited=no\nZ.min=0\nZ.max=0\nZ.rapid=0\nZ.maxFeed=0\nZ.accel=0\n"
            "A.limited=no\nA.min=0\nA.max=0\nA.rapid=0\nA.maxFeed=0\nA.accel=0\n"
            "B.limited=no\nB.min=0\nB.max=0\nB.rapid=0\nB.maxFeed=0\nB.accel=0\n"
            "C.limited=no\nC.min=0\nC.max=0\nC.rapid=0\nC.maxFeed=0\nC.accel=0\n"
            "U.limited=no\nU.min=0\nU.max=0\nU.rapid=0\nU.maxFeed=0\nU.accel=0\n"
            "V.limited=no\nV.min=0\nV.max=0\nV.rapid=0\nV.maxFeed=0\nV.accel=0\n"
            "W.limited=no\nW.min=0\nW.max=0\nW.rapid=0\nW.maxFeed=1e+20\nW.accel=0\n";
        QCOMPARE(s.encode(), golden);
        QString error;
        const std::optional<MachineSetup> read = MachineSetup::decode(golden, error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(*read, s);
        QCOMPARE(read->encode(), golden);
        QCOMPARE(error, QString());
    }

    // What a person may write by hand: CR LF, blank lines, comments, spaces about the "=", a "+",
    // keys left out, any order, a travel reversed on an axis with no limits.
    void writtenByHand()
    {
        QString error;
        const std::optional<MachineSetup> read = MachineSetup::decode(
            "# Haas VF-2\r\n\r\n  X.max = +762 \r\nZ.limited=yes\r\nZ.min=-508\r\nY.min=10\r\nY.max=5\r\n"
            "dialect=GRBL\r\nretract = G91 G28 Z0 \r\n   # done\r\n",
            error);
        QVERIFY2(read, qPrintable(error));
        MachineSetup expected;
        expected.dialect = interp::Dialect::Grbl;
        expected.retract = "G91 G28 Z0";
        expected.axes[0].max = 762;
        expected.axes[2] = {true, -508, 0, 0, 0, 0};
        expected.axes[1].min = 10;
        expected.axes[1].max = 5;
        QCOMPARE(*read, expected);
        QVERIFY(MachineSetup::decode("", error));
        QCOMPARE(*MachineSetup::decode("", error), MachineSetup());
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("not a number, lines counted past comments and CR LF")
            << QByteArray("# mill\r\n\r\nlathe=yes\r\nX.max=abc\r\n") << "line 4: 'X.max=abc': abc is not a number";
        QTest::newRow("no =") << QByteArray("lathe yes") << "line 1: 'lathe yes': a setting is written key=value";
        QTest::newRow("unknown key") << QByteArray("Q.max=5\n") << "line 1: 'Q.max=5': Q.max is not a setting of a machine";
        QTest::newRow("keys are spelt as written") << QByteArray("x.max=5\n")
                                                   << "line 1: 'x.max=5': x.max is not a setting of a machine";
        QTest::newRow("unknown dialect") << QByteArray("dialect=haas")
                                         << "line 1: 'dialect=haas': haas is not a dialect (linuxcnc, fanuc or grbl)";
        QTest::newRow("not yes or no") << QByteArray("lathe=true") << "line 1: 'lathe=true': true is not yes or no";
        QTest::newRow("digits not whole") << QByteArray("nDigits=2.5")
                                          << "line 1: 'nDigits=2.5': 2.5 is not a whole number";
        QTest::newRow("too many digits") << QByteArray("nDigits=21")
                                         << "line 1: 'nDigits=21': nDigits must be 0 (no limit) to 20";
        QTest::newRow("negative digits") << QByteArray("nDigits=-1")
                                         << "line 1: 'nDigits=-1': nDigits must be 0 (no limit) to 20";
        QTest::newRow("digits past an int") << QByteArray("nDigits=99999999999")
                                            << "line 1: 'nDigits=99999999999': nDigits must be 0 (no limit) to 20";
        QTest::newRow("negative rate") << QByteArray("X.rapid=-5") << "line 1: 'X.rapid=-5': X.rapid cannot be negative";
        QTest::newRow("no default rapid") << QByteArray("defaultRapid=0")
                                          << "line 1: 'defaultRapid=0': defaultRapid must be above 0";
        QTest::newRow("no arc tolerance") << QByteArray("arcTolerance=0")
                                          << "line 1: 'arcTolerance=0': arcTolerance must be above 0";
        QTest::newRow("infinite") << QByteArray("W.accel=inf") << "line 1: 'W.accel=inf': inf is not a number";
        QTest::newRow("empty number") << QByteArray("X.min=") << "line 1: 'X.min=':  is not a number";
        QTest::newRow("number and more") << QByteArray("X.min=5mm") << "line 1: 'X.min=5mm': 5mm is not a number";
        QTest::newRow("given twice") << QByteArray("lathe=no\nlathe=yes")
                                     << "line 2: 'lathe=yes': lathe was given already on line 1";
        QTest::newRow("a request without its three parts") << QByteArray("dnc.request1=name|(PRG=(.*))")
                                                           << "line 1: 'dnc.request1=name|(PRG=(.*))': dnc.request1 is written how|folder|expression";
        QTest::newRow("a request found by an unknown way") << QByteArray("dnc.request2=glob||(.*)")
                                                           << "line 1: 'dnc.request2=glob||(.*)': dnc.request2 finds a program by name, extension or number, not \"glob\"";
        QTest::newRow("a request whose expression names nothing") << QByteArray("dnc.request3=name||PRG=.*")
                                                                  << "line 1: 'dnc.request3=name||PRG=.*': dnc.request3's expression has no group in ( ) for the program's name";
        QTest::newRow("a request's broken expression") << QByteArray("dnc.request3=name||(PRG")
                                                       << "line 1: 'dnc.request3=name||(PRG': dnc.request3's expression is not one: missing closing parenthesis";
        QTest::newRow("no request lines") << QByteArray("dnc.requestLines=0")
                                          << "line 1: 'dnc.requestLines=0': dnc.requestLines must be 1 to 100";
        QTest::newRow("an unknown file name rule") << QByteArray("dnc.fileName=date")
                                                   << "line 1: 'dnc.fileName=date': dnc.fileName is number or name, not \"date\"";
        QTest::newRow("limited travel reversed, at the last of its lines")
            << QByteArray("X.min=10\nX.limited=yes\nZ.max=1\nX.max=5\n")
            << "line 4: 'X.max=5': X.min (10) is above X.max (5)";
        QTest::newRow("a long line shown cut short")
            << QByteArray("retract") + QByteArray(100, 'x')
            << "line 1: 'retract" + QString(53, QLatin1Char('x')) + "...': a setting is written key=value";
    }
    void damaged()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QString told = QStringLiteral("not cleared");
        QVERIFY(!MachineSetup::decode(bytes, told));
        QCOMPARE(told, error);
    }

    // The same rules for a setup made in a window: the first value out of range, by its key.
    void problems_data()
    {
        QTest::addColumn<MachineSetup>("setup");
        QTest::addColumn<QString>("problem");
        QTest::newRow("the defaults") << MachineSetup() << QString();
        MachineSetup s;
        s.axes[4].accel = -1;
        QTest::newRow("negative accel") << s << "B.accel cannot be negative (it is -1)";
        s = MachineSetup();
        s.spindleMax = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("not a number") << s << "spindleMax must be a finite number (it is nan)";
        s = MachineSetup();
        s.nDigits = 25;
        QTest::newRow("digits") << s << "nDigits must be 0 (no limit) to 20 (it is 25)";
        s = MachineSetup();
        s.toolChange = "T#\nM6";
        QTest::newRow("two lines") << s << "toolChange must be one line";
        s = MachineSetup();
        s.retract = "G0 Z0 ";
        QTest::newRow("a space at the end") << s << "retract cannot start or end with a space";
        s = MachineSetup();
        s.axes[6] = {true, 1, 0.5, 0, 0, 0};
        QTest::newRow("reversed travel") << s << "U.min (1) is above U.max (0.5)";
    }
    void problems()
    {
        QFETCH(MachineSetup, setup);
        QFETCH(QString, problem);
        QCOMPARE(setup.problem().value_or(QString()), problem);
    }
};

QTEST_GUILESS_MAIN(TestMachineSetup)
#include "tst_interp_setup.moc"
