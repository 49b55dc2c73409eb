#include "colorruns.h"
#include "testenv.h"

using tessarc::ColorRun;
using tessarc::ColorSlots;
using Runs = QList<ColorRun>;

namespace {

constexpr int kBlue = 0xff0000;
constexpr int kRed = 0x0000ff;
constexpr int kGrey = 0x808080;
constexpr int kGreen = 0x00ff00;

ColorSlots slotTable()
{
    ColorSlots s{};
    s[0] = {QStringLiteral("G"), kBlue};
    s[1] = {QStringLiteral("X"), kRed};
    s[2] = {QStringLiteral("Z"), kRed};
    s[3] = {QStringLiteral("Z"), kGreen};
    s[7] = {QString(), kGrey};
    return s;
}

} // namespace

class TestColorRuns : public QObject
{
    Q_OBJECT

private slots:
    void linesColourAsMachinistsReadThem_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<Runs>("flat");
        QTest::newRow("word, word, comment")
            << "G01X1.5(FAST)" << "(" << ")"
            << Runs{{0, 3, kBlue}, {3, 4, kRed}, {7, 6, kGrey}};
        QTest::newRow("lower-case letter") << "g1 x2" << "(" << ")" << Runs{{0, 3, kBlue}, {3, 2, kRed}};
        QTest::newRow("spaces belong to the number") << "X 10 Y5" << "(" << ")" << Runs{{0, 5, kRed}};
        QTest::newRow("every occurrence") << "G0 X1 G1 X2" << "" << "" << Runs{{0, 3, kBlue}, {3, 3, kRed},
                                                                             {6, 3, kBlue}, {9, 2, kRed}};
        QTest::newRow("letter without a number") << "X" << "(" << ")" << Runs{{0, 1, kRed}};
        QTest::newRow("equal delimiters colour themselves")
            << "%G1%" << "%" << "%" << Runs{{0, 1, kGrey}, {1, 2, kBlue}, {3, 1, kGrey}};
        QTest::newRow("long end delimiter: its first character")
            << "X1 /*G1*/ X2" << "/*" << "*/" << Runs{{0, 3, kRed}, {3, 5, kGrey}, {10, 2, kRed}};
        QTest::newRow("no end delimiter: to the end of the line")
            << "X1 ;G1 X2" << ";" << "" << Runs{{0, 3, kRed}, {3, 6, kGrey}};
        QTest::newRow("unclosed comment runs to the end") << "X1 (G1" << "(" << ")" << Runs{{0, 3, kRed},
                                                                                        {3, 3, kGrey}};
        QTest::newRow("letter inside a comment is comment")
            << "(X1)G2" << "(" << ")" << Runs{{0, 4, kGrey}, {4, 2, kBlue}};
        QTest::newRow("delimiters match case exactly") << "X1 rem x2 REM" << "REM" << "" << Runs{{0, 3, kRed}, {7, 3, kRed}, {10, 3, kGrey}};
        QTest::newRow("the higher slot wins") << "Z5" << "(" << ")" << Runs{{0, 2, kGreen}};
        QTest::newRow("no start delimiter: no comment") << "(X1)" << "" << ")" << Runs{{1, 2, kRed}};
    }

    void linesColourAsMachinistsReadThem()
    {
        QFETCH(QString, line);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QTEST(tessarc::flattenRuns(tessarc::colorRuns(line, slotTable(), start, end), line.size()), "flat");
    }

};

VORNEXA_TEST_MAIN(TestColorRuns)
#include "tst_colorruns.moc"
