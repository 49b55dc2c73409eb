#include "axislookup.h"
#include "findsize.h"
#include "testenv.h"

#include <QRandomGenerator>

#include <bit>

namespace {

// Random program-like lines: words, signs, points, spaces, comments, long numbers and other bytes.
QByteArray randomLine(QRandomGenerator &random)
{
    static const char *const pieces[] = {"X", "x", "Y", "z", "G01", "N10", "F300.", "(", ")", " ", "  ", "-", "+",
                                         ".", "0", "7", "12.5", "-0.0001", "1234567890123456789.5", "1-2", "E", "\t",
                                         "\xe9", "\xc9", "@", "[", "`", "{", "MAX", "I-.5J2", "12345678",
                                         "0.12345678", "9999999.99999999", "..5", "+.", "000000000000000001.5", "/"};
    QByteArray line;
    const int words = random.bounded(14);
    for (int i = 0; i < words; ++i)
        line += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
    return line;
}

tools::SizeRules rules(bool commentAware)
{
    tools::SizeRules r;
    r.commentAware = commentAware;
    return r;
}

} // namespace

class TestFindSize : public QObject
{
    Q_OBJECT

private slots:
    // One walk along a line finds for every letter what the lookup finds for it alone, and the
    // extents it widens are those of every value read in full.
    void letterScanAgreesWithTheLookup()
    {
        QRandomGenerator random(7);
        tools::LetterScan scan;
        tools::ExtentScan widened[2] = {tools::ExtentScan(false), tools::ExtentScan(true)};
        tools::LetterExtents expectedExtents[2] = {};
        int found = 0;
        for (int i = 0; i < 20000; ++i) {
            const QByteArray line = randomLine(random);
            const bool spaces = random.bounded(2);
            scan.read(line, spaces);
            widened[spaces].addLine(line);
            for (int index = 0; index < 26; ++index) {
                QString axis(QChar(u'A' + index));
                const functions::AxisValue expected = functions::findAxisValue(axis, line, spaces);
                tools::LetterExtent &extent = expectedExtents[spaces][static_cast<std::size_t>(index)];
                if (expected.found == 1.0 && !extent.seen)
                    extent = {true, expected.value, expected.value};
                else if (expected.found == 1.0)
                    extent = {true, std::min(extent.min, expected.value), std::max(extent.max, expected.value)};
                QCOMPARE(scan.found(index), expected.found == 1.0);
                if (!scan.found(index))
                    continue;
                ++found;
                QCOMPARE(scan.position(index), functions::findLetter(axis, line));
                // Bit for bit: exactly the lookup's double, the sign of a zero included.
                QCOMPARE(std::bit_cast<quint64>(scan.number(index).value()), std::bit_cast<quint64>(expected.value));
                QCOMPARE(double(scan.number(index).length), expected.length);
                const QByteArray text = line.mid(scan.position(index) + 1, scan.number(index).length);
                QCOMPARE(scan.number(index).digits, std::any_of(text.begin(), text.end(), [](char c) {
                             return c >= '0' && c <= '9';
                         }));
            }
        }
        QVERIFY(found > 3000);
        for (int spaces = 0; spaces < 2; ++spaces) {
            for (std::size_t index = 0; index < 26; ++index) {
                const tools::LetterExtent &a = widened[spaces].extents()[index];
                const tools::LetterExtent &b = expectedExtents[spaces][index];
                QCOMPARE(a.seen, b.seen);
                QCOMPARE(a.min, b.min);
                QCOMPARE(a.max, b.max);
            }
        }
    }

    void extents_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("commentAware");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no letters") << QList<QByteArray>{"", "123 456", "%"} << false << QStringList{};
        QTest::newRow("a letter met once") << QList<QByteArray>{"G01 X1.5"} << false
                                           << QStringList{"G\t\t1\t\t1", "X\t\t1.5\t\t1.5"};
        QTest::newRow("smallest and largest, first word of a line only")
            << QList<QByteArray>{"X-2 X50", "x3", "Y1", "X0.25"} << false
            << QStringList{"X\t\t3\t\t-2", "Y\t\t1\t\t1"};
        QTest::newRow("letters in a comment count") << QList<QByteArray>{"(AB) Z1"} << false
                                                    << QStringList{"A\t\t0\t\t0", "B\t\t0\t\t0", "Z\t\t1\t\t1"};
        QTest::newRow("comment aware: letters only in comments are not listed")
            << QList<QByteArray>{"(AB) Z1", "(UNCLOSED X9"} << true << QStringList{"Z\t\t1\t\t1"};
        QTest::newRow("comment aware: the word after a comment")
            << QList<QByteArray>{"(MAX DEPTH) X1."} << true << QStringList{"X\t\t1\t\t1"};
    }
    void extents()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, commentAware);
        tools::SizeScan scan(rules(commentAware));
        for (const QByteArray &line : lines)
            scan.addLine(line);
        QTEST(scan.rows(), "rows");
    }

    // A letter is listed in capitals whichever way it was asked for; a digit is no letter.
    void positionsOfALetter()
    {
        tools::PositionScan scan(QLatin1Char('x'), rules(true));
        QCOMPARE(scan.letter(), QLatin1Char('X'));
        scan.addLine(7, "(X1) G01 x-2.5 Y1");
        QCOMPARE(qint64(scan.positions().size()), qint64(1));
        QCOMPARE(tools::positionRow(scan.letter(), scan.positions()[0]), QStringLiteral("Line 7: X = -2.5"));
        tools::PositionScan none(QLatin1Char('1'), rules(false));
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
