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
        // The first word of the letter: its number with the spaces inside it, none after it.
        QTest::newRow("negative value, the space after it not taken") << "X" << "G01 X-1.5 Y2" << -1.5 << 4.0 << 1.0
                                                                       << "X";
        QTest::newRow("spaces inside the number") << "X" << "X 10 Y5" << 10.0 << 3.0 << 1.0 << "X";
        QTest::newRow("case ignored") << "x" << "X25" << 25.0 << 2.0 << 1.0 << "x";
        QTest::newRow("second sign ends the value") << "X" << "X1-2" << 1.0 << 1.0 << 1.0 << "X";
        QTest::newRow("second point ends the value") << "X" << "X1.2.3" << 1.2 << 3.0 << 1.0 << "X";
        QTest::newRow("first word only") << "X" << "X1 X2" << 1.0 << 1.0 << 1.0 << "X";
        QTest::newRow("several letters use the first") << "XY" << "Y3 X7" << 7.0 << 1.0 << 1.0 << "X";
        QTest::newRow("letter trimmed of spaces") << "  Y " << "X1 Y-.5" << -0.5 << 3.0 << 1.0 << "Y";
        QTest::newRow("plus sign") << "F" << "F+300." << 300.0 << 5.0 << 1.0 << "F";
        QTest::newRow("exponent letter is not a number") << "X" << "X1E3" << 1.0 << 1.0 << 1.0 << "X";
        const QString far = QString(300, QLatin1Char('.')) + QStringLiteral("X42 Y1");
        QTest::newRow("letter first found past position 255") << "X" << far << 42.0 << 2.0 << 1.0 << "X";
        // No word of the letter: nothing is read as 0 from a letter that has no number.
        QTest::newRow("letter absent") << "Z" << "G01 X1" << 0.0 << 0.0 << 0.0 << "Z";
        QTest::newRow("no number follows") << "X" << "X Y2" << 0.0 << 0.0 << 0.0 << "X";
        QTest::newRow("sign alone") << "Z" << "Z-" << 0.0 << 0.0 << 0.0 << "Z";
        QTest::newRow("inside a comment, another word or an expression") << "X" << "(MAX X1) MAXIMUM X[#1]"
                                                                         << 0.0 << 0.0 << 0.0 << "X";
        QTest::newRow("a bare letter is passed over for the word after it") << "Z" << "Z (TOP) Z-2" << -2.0 << 2.0
                                                                            << 1.0 << "Z";
        QTest::newRow("empty letter") << "" << "X12" << 0.0 << 0.0 << 0.0 << "";
        QTest::newRow("empty line") << "X" << "" << 0.0 << 0.0 << 0.0 << "X";
    }

    void values()
    {
        QFETCH(QString, letter);
        QFETCH(QString, line);
        const tessarc::AxisValue got =
            tessarc::getAxisValue(letter, line, tessarc::WordReader(tessarc::CommentRule{"(", ")", ";"}, true));
        QTEST(got[0], "value");
        QTEST(got[1], "count");
        QTEST(got[2], "found");
        QTEST(letter, "letterAfter");
    }
};

VORNEXA_TEST_MAIN(TestAxisValue)
#include "tst_axisvalue.moc"
