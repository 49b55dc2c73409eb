#include "findsize.h"
#include "testenv.h"


class TestFindSize : public QObject
{
    Q_OBJECT

private slots:
    void extents_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no words") << QList<QByteArray>{"", "123 456", "%", "X", "#<xs>=2", "Mazak"} << QStringList{};
        QTest::newRow("a letter met once") << QList<QByteArray>{"G01 X1.5"}
                                           << QStringList{"G\t\t1\t\t1", "X\t\t1.5\t\t1.5"};
        QTest::newRow("smallest and largest, first word of a line only")
            << QList<QByteArray>{"X-2 X50", "x3", "Y1", "X0.25"} << QStringList{"X\t\t3\t\t-2", "Y\t\t1\t\t1"};
        QTest::newRow("comments, tokens and expressions hold no words")
            << QList<QByteArray>{"(AB9) Z1", "(UNCLOSED X9", "o100 sub", "X[#1*2] Y2"}
            << QStringList{"O\t\t100\t\t100", "Y\t\t2\t\t2", "Z\t\t1\t\t1"};
        QTest::newRow("the word after a comment")
            << QList<QByteArray>{"(MAX DEPTH) X1."} << QStringList{"X\t\t1\t\t1"};
    }
    void extents()
    {
        QFETCH(QList<QByteArray>, lines);
        tools::SizeScan scan{tools::SizeRules()};
        for (const QByteArray &line : lines)
            scan.addLine(line);
        QTEST(scan.rows(), "rows");
    }

    // A letter is listed in capitals whichever way it was asked for; a digit is no letter.
    void positionsOfALetter()
    {
        tools::PositionScan scan(QLatin1Char('x'), tools::SizeRules());
        QCOMPARE(scan.letter(), QLatin1Char('X'));
        scan.addLine(7, "(X1) G01 x-2.5 Y1");
        QCOMPARE(qint64(scan.positions().size()), qint64(1));
        QCOMPARE(tools::positionRow(scan.letter(), scan.positions()[0]), QStringLiteral("Line 7: X = -2.5"));
        tools::PositionScan none(QLatin1Char('1'), tools::SizeRules());
        none.addLine(1, "X1");
        QVERIFY(none.positions().empty());
    }

    void plainNumber_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 10.0 << "10";
        QTest::newRow("fraction") << -0.25 << "-0.25";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("fifteen digits") << 1.0 / 3.0 << "0.333333333333333";
        QTest::newRow("large") << 1e20 << "1E+20";
    }
    void plainNumber()
    {
        QFETCH(double, value);
        QTEST(tools::plainNumber(value), "text");
    }
};

VORNEXA_TEST_MAIN(TestFindSize)
#include "tst_tools_findsize.moc"
