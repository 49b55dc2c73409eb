#include "numbers.h"
#include "numberwriter.h"
#include "testenv.h"

#include <limits>

class TestNumbers : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumber_data()
    {
        const double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("second sign ends it") << "1-2" << 1.0;
        QTest::newRow("point first") << "-.5" << -0.5;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("trailing text") << "12abc" << 12.0;
        QTest::newRow("spaces inside") << "1 2" << 12.0;
        QTest::newRow("tab and line feed") << "\t- 3\n" << -3.0;
        QTest::newRow("carriage return is not ignored") << "1\r2" << 1.0;
        QTest::newRow("exponent E") << "1.5E3" << 1500.0;
        QTest::newRow("negative exponent") << "2e-2" << 0.02;
        QTest::newRow("exponent D") << "1D2" << 100.0;
        QTest::newRow("exponent without digits") << "1E" << 1.0;
        QTest::newRow("exponent sign without digits") << "1E+" << 1.0;
        QTest::newRow("exponent alone") << "E5" << 0.0;
        QTest::newRow("point then exponent") << "5.E1" << 50.0;
        QTest::newRow("exponent has no point") << "1E5.5" << 100000.0;
        QTest::newRow("hex") << "&HFF" << 255.0;
        QTest::newRow("hex lower case") << "&hff" << 255.0;
        QTest::newRow("hex stops at G") << "&H1G" << 1.0;
        QTest::newRow("hex without digits") << "&H" << 0.0;
        QTest::newRow("hex is a whole positive number") << "&HFFFF" << 65535.0;
        QTest::newRow("hex with a space inside") << "& H10" << 16.0;
        QTest::newRow("signed hex is not read") << "-&H10" << 0.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal stops at 8") << "&O178" << 15.0;
        QTest::newRow("overflow") << "1E400" << inf;
        QTest::newRow("underflow") << "1E-400" << 0.0;
        QTest::newRow("zero with a huge exponent") << "0.000E999" << 0.0;
        QTest::newRow("four hundred digits") << QString(QStringLiteral("1") + QString(400, QLatin1Char('0'))) << inf;
        QTest::newRow("non-ASCII letter ends it") << QString::fromUtf8("5\xc3\xa9") << 5.0;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(functions::leadingNumber(QStringView(text)), expected);
        // The same reading of a line's bytes.
        QCOMPARE(functions::leadingNumber(QByteArrayView(text.toLatin1())), expected);
    }

    void isNumeric_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("spaces only") << "   " << false;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("surrounding spaces") << " 12 " << true;
        QTest::newRow("negative decimal") << "-1.5" << true;
        QTest::newRow("plus and point first") << "+.5" << true;
        QTest::newRow("trailing point") << "5." << true;
        QTest::newRow("point alone") << "." << false;
        QTest::newRow("two points") << "1.2.3" << false;
        QTest::newRow("sign inside") << "1-2" << false;
        QTest::newRow("space inside") << "1 2" << false;
        QTest::newRow("tab is not a space") << "\t1" << false;
        QTest::newRow("exponent") << "1e5" << true;
        QTest::newRow("signed exponent") << "1E+5" << true;
        QTest::newRow("D exponent") << "2D-3" << true;
        QTest::newRow("exponent without digits") << "1e" << false;
        QTest::newRow("exponent sign without digits") << "1e+" << false;
        QTest::newRow("hex") << "&HFF" << true;
        QTest::newRow("hex without digits") << "&h" << false;
        QTest::newRow("hex with a bad digit") << "&HFG" << false;
        QTest::newRow("octal") << "&O17" << true;
        QTest::newRow("signed hex") << "-&H1" << false;
        QTest::newRow("too large for a double") << "1E400" << false;
        QTest::newRow("non-ASCII digit") << QString::fromUtf8("\xd9\xa3") << false;
    }

    void isNumeric()
    {
        QFETCH(QString, text);
        QTEST(functions::isNumeric(text), "numeric");
    }

    void formatNumber_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("expected");
        const QString out = QStringLiteral("0.####");
        const QString pct = QStringLiteral("0.00");
        QTest::newRow("one place") << 2.5 << out << "2.5";
        QTest::newRow("whole number keeps its point") << 2.0 << out << "2.";
        QTest::newRow("leading zero") << 0.5 << out << "0.5";
        QTest::newRow("negative") << -0.25 << out << "-0.25";
        QTest::newRow("rounded to four places") << 1.23456 << out << "1.2346";
        QTest::newRow("too small to show") << 0.00004 << out << "0.";
        QTest::newRow("integer digits in full") << 1234567.0 << out << "1234567.";
        QTest::newRow("two places rounded") << 12.3456 << pct << "12.35";
        QTest::newRow("zeros always written") << 100.0 << pct << "100.00";
        QTest::newRow("15 digits: 1.005") << 1.005 << pct << "1.01";
        QTest::newRow("15 digits: 0.1 + 0.2") << 0.1 + 0.2 << out << "0.3";
        QTest::newRow("half at the last place") << 0.00005 << out << "0.0001";
        QTest::newRow("negative half away from zero") << -0.00005 << out << "-0.0001";
        QTest::newRow("carry into a new digit") << 9.99995 << out << "10.";
        QTest::newRow("half up, no places") << 2.5 << "0" << "3";
        QTest::newRow("negative that rounds to zero") << -0.00004 << out << "0.";
        QTest::newRow("negative zero") << -0.0 << out << "0.";
        QTest::newRow("huge value") << 1e20 << out << "100000000000000000000.";
        QTest::newRow("15 significant digits only") << 1.23456789012345678 << "0.##################" << "1.23456789012346";
        QTest::newRow("no integer zero") << 0.5 << "#.##" << ".5";
        QTest::newRow("nothing significant") << 0.4 << "#" << "";
        QTest::newRow("least integer digits") << 5.0 << "000.0" << "005.0";
        QTest::newRow("more digits than placeholders") << 1234.0 << "00.0" << "1234.0";
        QTest::newRow("zero placeholder after hash") << 1.0 << "0.#0" << "1.00";
        QTest::newRow("literal suffix") << 1.5 << "0.00 mm" << "1.50 mm";
        QTest::newRow("spaces trimmed") << 1.5 << " 0.0 " << "1.5";
        QTest::newRow("literal between digits") << 12345.0 << "#,##0" << "12,345";
        QTest::newRow("literal before any digit dropped") << 5.0 << "#,##0" << "5";
        QTest::newRow("first section only") << -1.5 << "0.00;(0.00)" << "-1.50";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << out << "";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << out << "";
    }

    void formatNumber()
    {
        QFETCH(double, value);
        QFETCH(QString, picture);
        QTEST(functions::formatNumber(value, picture), "expected");
    }

    // Pictures far longer than the pictures the Options window makes are written in full by the
    // number writer, the same as formatNumber writes them, and read back as the value.
    void longPicturesAreWrittenInFull_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("length");
        const QString places600 = QStringLiteral("0.") + QString(600, QLatin1Char('0'));
        const QString zeros520 = QString(520, QLatin1Char('0')) + QStringLiteral(".####");
        QTest::newRow("600 places") << places600 << -1.5 << 1 + 1 + 1 + 600;
        QTest::newRow("600 places, 1e308") << places600 << 1e308 << 309 + 1 + 600;
        QTest::newRow("600 places, smallest double") << places600 << std::numeric_limits<double>::denorm_min() << 1 + 1 + 600;
        QTest::newRow("520 leading zeros") << zeros520 << 12.25 << 520 + 1 + 2;
        QTest::newRow("200 places, written directly") << QStringLiteral("0.") + QString(200, QLatin1Char('#')) << 1e300 << 301 + 1;
    }
    void longPicturesAreWrittenInFull()
    {
        QFETCH(QString, picture);
        QFETCH(double, value);
        QFETCH(int, length);
        const tools::NumberWriter writer(picture);
        QByteArray out;
        QVERIFY(writer.append(value, out));
        QCOMPARE(out.size(), length);
        QCOMPARE(out, functions::formatNumber(value, picture).toLatin1());
        QCOMPARE(functions::leadingNumber(QByteArrayView(out)), value);
        if (writer.direct()) {
            char text[tools::NumberWriter::kLongestNumber];
            QCOMPARE(writer.write(value, text), length);
        } else {
            char text[1];
            QCOMPARE(writer.write(value, text), -1); // never past a buffer sized for direct pictures
        }
    }
};

VORNEXA_TEST_MAIN(TestNumbers)
#include "tst_tools_numbers.moc"
