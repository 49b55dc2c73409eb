#include "notation.h"
#include "testenv.h"

using tessarc::controlToNotation;
using tessarc::notationToControl;

class TestNotation : public QObject
{
    Q_OBJECT

private slots:
    void everyCodeBothWays_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("name");
        const char *names[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
                                 "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                 "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
        for (int code = 0; code < 32; ++code)
            QTest::newRow(names[code]) << code << "(" + QByteArray(names[code]) + ")";
    }

    void everyCodeBothWays()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, name);
        const QByteArray raw = "X" + QByteArray(1, static_cast<char>(code)) + "Y";
        QCOMPARE(controlToNotation(raw), "X" + name + "Y");
        QCOMPARE(notationToControl("X" + name + "Y"), raw);
        QCOMPARE(tessarc::controlName(code).toByteArray(), name);
    }

    void onlyExactNamesConvert_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("lower case stays") << QByteArray("G1(lf)") << QByteArray("G1(lf)");
        QTest::newRow("mixed case stays") << QByteArray("(Cr)(dC2)") << QByteArray("(Cr)(dC2)");
        QTest::newRow("comment that is no name") << QByteArray("(FAST)(ABC)") << QByteArray("(FAST)(ABC)");
        QTest::newRow("unclosed") << QByteArray("(NUL") << QByteArray("(NUL");
        QTest::newRow("names side by side") << QByteArray("(DC2)%(DC4)") << QByteArray("\x12%\x14");
        QTest::newRow("name inside brackets") << QByteArray("((CR))") << QByteArray("(\r)");
        QTest::newRow("name after an open bracket") << QByteArray("(X(LF)") << QByteArray("(X\n");
    }

    void onlyExactNamesConvert()
    {
        QFETCH(QByteArray, text);
        QTEST(notationToControl(text), "control");
    }

    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QByteArray shown = controlToNotation(all);
        QCOMPARE(notationToControl(shown), all);
        // Delete and the bytes above it are never converted, either way.
        QVERIFY(shown.endsWith(all.mid(127)));
        QCOMPARE(notationToControl(all.mid(127)), all.mid(127));
    }
};

VORNEXA_TEST_MAIN(TestNotation)
#include "tst_notation.moc"
