#include "mirror.h"
#include "corpus.h"
#include "testenv.h"
#include "words.h"

#include <QFile>

#include <cmath>

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

// The arcs of a program in the XY plane, followed as a control does (absolute positions, offset
// centres, modal motion): the distance of each arc's centre from its start and from its end.
struct ArcEnds
{
    qsizetype line = 0;
    double startRadius = 0.0;
    double endRadius = 0.0;
    bool clockwise = false;
};

QList<ArcEnds> arcEnds(const QList<QByteArray> &lines)
{
    const tessarc::WordReader reader(tessarc::CommentRule{"(", ")", ";"}, false);
    QList<ArcEnds> arcs;
    double x = 0, y = 0;
    int motion = 0;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        double toX = x, toY = y, i = 0, j = 0;
        bool move = false;
        for (const tessarc::Word &w : reader.words(lines[n])) {
            if (w.letter == 'G' && (w.value == 0 || w.value == 1 || w.value == 2 || w.value == 3))
                motion = int(w.value);
            else if (w.letter == 'X' && (move = true))
                toX = w.value;
            else if (w.letter == 'Y' && (move = true))
                toY = w.value;
            else if (w.letter == 'I')
                i = w.value;
            else if (w.letter == 'J')
                j = w.value;
        }
        if (move && (motion == 2 || motion == 3)) {
            const double cx = x + i, cy = y + j;
            arcs.append({n + 1, std::hypot(x - cx, y - cy), std::hypot(toX - cx, toY - cy), motion == 2});
        }
        x = toX;
        y = toY;
    }
    return arcs;
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
        // Lines joined by "|" run through one Mirror run, so that the centre form carries over.
        both("arc mirrored at 0", "X", "0", BothSwaps, "G2 X20. Y5. I5. J0", "G3 X-20. Y5. I-5. J0");
        both("Y mirrors J", "Y", "1", BothSwaps, "G02 X1 Y3 I1 J-1", "G03 X1 Y-1. I1 J1.");
        both("Z mirrors K", "Z", "0", None, "G18 G2 X1 Z2 I1 K-2", "G18 G2 X1 Z-2. I1 K2.");
        both("absolute centres are positions", "X", "10", None, "G90.1|G2 X4 I6 J0|G91.1|G2 X4 I6",
             "G90.1|G2 X16. I14. J0|G91.1|G2 X16. I-6.");
        both("a centre without the end point", "X", "0", Arcs, "G03 I-5.", "G02 I5.");
        both("R arcs keep R", "X", "0", Arcs, "G2 X1 R5", "G3 X-1. R5");
        both("mirrored at 10", "X", "10", BothSwaps, "X4.", "X16.");
        both("negative mirrored at 10", "X", "10", BothSwaps, "X-2.5", "X22.5");
        both("case and form kept", "X", "0", Arcs, "g03 x1.|G02|g2|G003", "g02 x-1.|G03|g3|G002");
        both("nothing to do", "X", "0", None, "G02 Y1. G41", "G02 Y1. G41");
        both("G41 and G42 on one line", "X", "0", Compensation, "G41 Y1 G42 D1", "G42 Y1 G41 D1");
        both("other G words stay", "Z", "0", BothSwaps, "G20 G21 G4 G40 G021 G2.5 G03.1 G41.1", "G20 G21 G4 G40 G021 G2.5 G03.1 G41.1");
        both("words inside comments stay", "Z", "0", Arcs, "(G02 ARC) G02 ; G03", "(G02 ARC) G03 ; G03");
        both("glued words", "X", "0", Arcs, "G02G03X1.I2", "G03G02X-1.I-2.");
        both("arcs only", "Z", "0", Arcs, "G02 G41", "G03 G41");
        both("compensation only", "Z", "0", Compensation, "G02 G41", "G02 G42");
        both("letter absent, words swapped", "X", "3", BothSwaps, "G03 Y1. G42", "G02 Y1. G41");
        both("a bare letter is no word", "X", "5", None, "G01 X", "G01 X");
        both("output form", "X", "0", None, "X1.23456", "X-1.2346");
        both("position with spaces", "X", " 10 ", None, "X4.", "X16.");
        both("other bytes kept", "X", "0", BothSwaps, QByteArray("X1\xff(\xe9)\0G41", 10),
             QByteArray("X-1.\xff(\xe9)\0G42", 12));
        row("an expression is left alone", false, "X", "0", Arcs, "G2 X[#1*2] I1", "G2 X[#1*2] I1", LineFault::Expression);
        row("and so is a centre's", false, "X", "0", Arcs, "G2 X1 I#5", "G2 X1 I#5", LineFault::Expression);
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
        QFETCH(QByteArray, expected);
        QFETCH(LineFault, fault);
        QFETCH(int, maxLength);
        tools::LineRules rules;
        rules.spaces = spaces;
        rules.maxLength = maxLength;
        tools::MirrorWork work(tools::MirrorSettings{axis, at, arcs, compensation}, rules);
        QByteArrayList got;
        LineFault last = LineFault::None;
        for (const QByteArray &one : line.split('|')) {
            QByteArray out;
            last = work(one, out);
            got.append(out);
        }
        QCOMPARE(last, fault);
        QCOMPARE(got.join('|'), expected);
    }

    // Mirrored arcs of real programs keep their radius at both ends: the centre moved with the
    // end points and the direction reversed. Without the centre mirrored, the end radius of the
    // first arc of either program would be off by millimetres.
    void arcsKeepTheirShape_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("arcs");
        QTest::addColumn<double>("closes"); // how far the program's own arcs are off at their ends
        QTest::newRow("plasma") << "linuxcnc__plasmatest.ngc" << 30 << 0.001;
        QTest::newRow("pocket") << "camotics__botomata_bottom.nc" << 2000 << 0.002;
    }

    void arcsKeepTheirShape()
    {
        QFETCH(QString, program);
        QFETCH(int, arcs);
        QFETCH(double, closes);
        const QString path = corpusFolder() + QLatin1Char('/') + program;
        if (!QFile::exists(path))
            QSKIP("the program collection is not here");
        const QList<QByteArray> lines = programLines(path);
        tools::LineRules rules;
        rules.spaces = false;
        tools::MirrorWork work(tools::MirrorSettings{QStringLiteral("X"), QStringLiteral("0"), true, true}, rules);
        QList<QByteArray> mirrored;
        for (const QByteArray &line : lines) {
            QByteArray out;
            QCOMPARE(work(line, out), LineFault::None);
            mirrored.append(out);
        }
        const QList<ArcEnds> before = arcEnds(lines);
        const QList<ArcEnds> after = arcEnds(mirrored);
        QCOMPARE(after.size(), before.size());
        QVERIFY2(after.size() >= arcs, qPrintable(QString::number(after.size())));
        for (qsizetype i = 0; i < after.size(); ++i) {
            const QString where = QStringLiteral("line %1").arg(after[i].line);
            QVERIFY2(std::fabs(after[i].startRadius - after[i].endRadius) < closes, qPrintable(where));
            QVERIFY2(std::fabs(after[i].startRadius - before[i].startRadius) < 1e-9, qPrintable(where));
            QVERIFY2(std::fabs(after[i].endRadius - before[i].endRadius) < 1e-9, qPrintable(where));
            QVERIFY2(after[i].clockwise != before[i].clockwise, qPrintable(where));
        }
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
