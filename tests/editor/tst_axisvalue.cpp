#include "axisvalue.h"
#include "testenv.h"

class TestAxisValue : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("count");
        QTest::addColumn<double>("found");
        QTest::addColumn<QString>("letterAfter");
        QTest::newRow("negative value, trailing space taken") << "X" << "G01 X-1.5 Y2" << -1.5 << 5.0 << 1.0 << "X";
        QTest::newRow("negative value at the end") << "X" << "G01 X-1.5" << -1.5 << 4.0 << 1.0 << "X";
        QTest::newRow("spaces belong to the number") << "X" << "X 10 Y5" << 10.0 << 4.0 << 1.0 << "X";
        QTest::newRow("case ignored") << "x" << "X25" << 25.0 << 2.0 << 1.0 << "x";
        QTest::newRow("no number follows") << "X" << "XY" << 0.0 << 0.0 << 1.0 << "X";
        QTest::newRow("second sign ends the value") << "X" << "X1-2" << 1.0 << 3.0 << 1.0 << "X";
        QTest::newRow("second point ends the value") << "X" << "X1.2.3" << 1.2 << 5.0 << 1.0 << "X";
        QTest::newRow("letter absent") << "Z" << "G01 X1" << 0.0 << 0.0 << 0.0 << "Z";
        QTest::newRow("first occurrence only") << "X" << "X1 X2" << 1.0 << 2.0 << 1.0 << "X";
        QTest::newRow("several letters use the first") << "XY" << "Y3 X7" << 7.0 << 1.0 << 1.0 << "X";
        QTest::newRow("letter trimmed of spaces") << "  Y " << "X1 Y-.5" << -0.5 << 3.0 << 1.0 << "Y";
        QTest::newRow("empty letter found at the start") << "" << "X12" << 12.0 << 2.0 << 1.0 << "";
        QTest::newRow("empty line") << "X" << "" << 0.0 << 0.0 << 0.0 << "X";
        QTest::newRow("plus sign") << "F" << "F+300." << 300.0 << 5.0 << 1.0 << "F";
        QTest::newRow("sign alone") << "Z" << "Z-" << 0.0 << 1.0 << 1.0 << "Z";
        QTest::newRow("exponent letter is not a number") << "X" << "X1E3" << 1.0 << 1.0 << 1.0 << "X";
        QTest::newRow("number runs to the end of the line") << "Z" << "Z-0.25   " << -0.25 << 8.0 << 1.0 << "Z";
        const QString far = QString(300, QLatin1Char('.')) + QStringLiteral("X42 Y1");
        QTest::newRow("letter first found past position 255") << "X" << far << 42.0 << 3.0 << 1.0 << "X";
    }

    void values()
    {
        QFETCH(QString, letter);
        QFETCH(QString, line);
        const tessarc::AxisValue got = tessarc::getAxisValue(letter, line);
        QTEST(got[0], "value");
        QTEST(got[1], "count");
        QTEST(got[2], "found");
        QTEST(letter, "letterAfter");
    }
};

VORNEXA_TEST_MAIN(TestAxisValue)
#include "tst_axisvalue.moc"
