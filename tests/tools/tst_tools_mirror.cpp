#include "mirror.h"
#include "testenv.h"

using tools::LineFault;

Q_DECLARE_METATYPE(tools::LineFault)

namespace {

enum Swaps { None = 0, Arcs = 1, Compensation = 2, BothSwaps = 3 };

void row(const char *name, bool spaces, const char *axis, const char *at, int swaps, const QByteArray &line,
         const QByteArray &expected, LineFault fault = LineFault::None, int maxLength = 498)
{
    QTest::addRow("%s, spaces %s", name, spaces ? "on" : "off")
        << QString::fromLatin1(axis) << QString::fromLatin1(at) << bool(swaps & Arcs) << bool(swaps & Compensation)
        << spaces << line << expected << fault << maxLength;
}

void both(const char *name, const char *axis, const char *at, int swaps, const QByteArray &line,
          const QByteArray &expected)
{
    row(name, false, axis, at, swaps, line, expected);
    row(name, true, axis, at, swaps, line, expected);
}

} // namespace

class TestMirror : public QObject
{
    Q_OBJECT

private slots:
    void rewriteLine_data()
    {
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("arcs");
        QTest::addColumn<bool>("compensation");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<LineFault>("fault"); // the line is left as it was
        QTest::addColumn<int>("maxLength");
        row("arc mirrored at 0", false, "X", "0", BothSwaps, "G02 X1.5 Y2. I-1.5", "G03 X-1.5 Y2. I-1.5");
        row("arc mirrored at 0", true, "X", "0", BothSwaps, "G02 X1.5 Y2. I-1.5", "G03 X-1.5Y2. I-1.5");
        both("mirrored at 10", "X", "10", BothSwaps, "X4.", "X16.");
        both("negative mirrored at 10", "X", "10", BothSwaps, "X-2.5", "X22.5");
        both("lower case words", "X", "0", Arcs, "g03 x1.", "G02 x-1.");
        both("nothing to do", "X", "0", None, "G02 Y1. G41", "G02 Y1. G41");
        both("G41 and G42 on one line", "X", "0", Compensation, "G41 Y1 G42 D1", "G42 Y1 G41 D1");
        both("words without the zero", "Z", "0", BothSwaps, "G2 G3 G4 G40", "G2 G3 G4 G40");
        both("longer words", "Z", "0", Arcs, "G020 G03.1", "G030 G02.1");
        both("words inside a comment", "Z", "0", Arcs, "(G02 ARC)", "(G03 ARC)");
        both("adjacent words", "Z", "0", Arcs, "G02G03G02", "G03G02G03");
        both("arcs only", "Z", "0", Arcs, "G02 G41", "G03 G41");
        both("compensation only", "Z", "0", Compensation, "G02 G41", "G02 G42");
        both("letter absent, words swapped", "X", "3", BothSwaps, "G03 Y1. G42", "G02 Y1. G41");
        both("letter with no number", "X", "5", None, "G01 X", "G01 X10.");
        both("output form", "X", "0", None, "X1.23456", "X-1.2346");
        both("position with spaces", "X", " 10 ", None, "X4.", "X16.");
        both("control character 1 kept", "Z", "0", BothSwaps, "G02 X1.\x01", "G03 X1.\x01");
        both("other bytes kept", "X", "0", BothSwaps, QByteArray("X1\xff(\xe9)\0G41", 10),
             QByteArray("X-1.\xff(\xe9)\0G42", 12));
        row("just fits", true, "X", "100", BothSwaps, "X1.", "X199.", LineFault::None, 5);
        row("too long", true, "X", "100", BothSwaps, "X1.5", "X1.5", LineFault::TooLong, 5);
        row("too long, words not swapped either", true, "X", "100", BothSwaps, "G02X1.5", "G02X1.5", LineFault::TooLong, 8);
        row("past a double", true, "X", "1.7E308", BothSwaps, "G02 X-1", "G02 X-1", LineFault::NotFinite);
    }

    void rewriteLine()
    {
        QFETCH(QString, axis);
        QFETCH(QString, at);
        QFETCH(bool, arcs);
        QFETCH(bool, compensation);
        QFETCH(bool, spaces);
        QFETCH(QByteArray, line);
        QFETCH(int, maxLength);
        tools::LineRules rules;
        rules.spaces = spaces;
        rules.maxLength = maxLength;
        const tools::LineResult got = tools::rewriteLine(tools::MirrorSettings{axis, at, arcs, compensation}, line, rules);
        QTEST(got.fault, "fault");
        QTEST(got.line, "expected");
    }

    void checkFields_data()
    {
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("refused");
        QTest::newRow("filled in") << "X" << "0" << false;
        QTest::newRow("negative position") << "Y" << "-2.5" << false;
        QTest::newRow("empty position") << "X" << "" << true;
        QTest::newRow("empty axis") << "" << "0" << true;
        QTest::newRow("blank axis") << " " << "0" << true;
        QTest::newRow("position not numeric") << "X" << "X0" << true;
    }

    void checkFields()
    {
        QFETCH(QString, axis);
        QFETCH(QString, at);
        QFETCH(bool, refused);
        const std::optional<QString> got = tools::checkFields(tools::MirrorSettings{axis, at, true, true},
                                                              QStringLiteral("TEXTNULL"));
        QCOMPARE(got.value_or(QString()), refused ? QStringLiteral("TEXTNULL") : QString());
    }
};

VORNEXA_TEST_MAIN(TestMirror)
#include "tst_tools_mirror.moc"
