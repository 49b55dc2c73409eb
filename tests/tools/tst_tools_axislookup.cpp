#include "axislookup.h"
#include "testenv.h"

static void oneSetting(const char *name, bool spaces, const QString &axis, const QByteArray &line, double value,
                       double length, double found, const QString &axisAfter)
{
    QTest::addRow("%s, spaces %s", name, spaces ? "on" : "off")
        << axis << line << spaces << value << length << found << axisAfter;
}

// Rows for a lookup that gives the same result with spaces allowed in numbers and without.
static void bothSettings(const char *name, const QString &axis, const QByteArray &line, double value, double length,
                         double found, const QString &axisAfter)
{
    oneSetting(name, false, axis, line, value, length, found, axisAfter);
    oneSetting(name, true, axis, line, value, length, found, axisAfter);
}

class TestAxisLookup : public QObject
{
    Q_OBJECT

private slots:
    void findAxisValue_data()
    {
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("length");
        QTest::addColumn<double>("found");
        QTest::addColumn<QString>("axisAfter");
        bothSettings("case ignored, next letter ends it", "x", "G01 X-1.5Y2.", -1.5, 4, 1, "x");
        bothSettings("letter absent", "X", "G01 Y2.", 0, 0, 0, "X");
        oneSetting("spaces inside the number", true, "X", "X 1.5 Y2", 1.5, 5, 1, "X");
        oneSetting("space ends the number", false, "X", "X 1.5 Y2", 0, 0, 1, "X");
        bothSettings("second sign", "X", "X1-2", 1, 3, 1, "X");
        oneSetting("letter inside a comment word", false, "X", "(MAX DEPTH) X1.", 0, 0, 1, "X");
        oneSetting("letter inside a comment word", true, "X", "(MAX DEPTH) X1.", 0, 1, 1, "X");
        bothSettings("letter at the end", "X", "X", 0, 0, 1, "X");
        oneSetting("trailing space taken", true, "X", "G01 X-1.5 Y2", -1.5, 5, 1, "X");
        oneSetting("trailing space left", false, "X", "G01 X-1.5 Y2", -1.5, 4, 1, "X");
        bothSettings("second point", "X", "X1.2.3", 1.2, 5, 1, "X");
        bothSettings("no exponent on a line", "X", "X1E3", 1, 1, 1, "X");
        bothSettings("first occurrence only", "X", "X1X2", 1, 1, 1, "X");
        bothSettings("axis trimmed", "  Y ", "X1 Y-.5", -0.5, 3, 1, "Y");
        bothSettings("axis cut to one letter", "XY", "Y3 X7", 7, 1, 1, "X");
        bothSettings("empty axis finds nothing", "", "X12", 0, 0, 0, "");
        bothSettings("blank axis finds nothing", "   ", "X 1", 0, 0, 0, "");
        bothSettings("letter outside Latin-1 finds nothing", QString::fromUtf8("\xe2\x82\xac"), "?5", 0, 0, 0,
                     QString::fromUtf8("\xe2\x82\xac"));
        bothSettings("Latin-1 letters fold", QString::fromUtf8("\xc3\xa9"), "\xc9" "1.5", 1.5, 3, 1,
                     QString::fromUtf8("\xc3\xa9"));
        bothSettings("NUL byte before the letter", "X", QByteArray("A\0X5", 4), 5, 1, 1, "X");
        const QByteArray far = QByteArray(300, '.') + "X42 Y1";
        oneSetting("letter far along the line", false, "X", far, 42, 2, 1, "X");
        oneSetting("letter far along the line", true, "X", far, 42, 3, 1, "X");
    }

    void findAxisValue()
    {
        QFETCH(QString, axis);
        QFETCH(QByteArray, line);
        QFETCH(bool, spaces);
        const QByteArray before = line;
        const functions::AxisValue got = functions::findAxisValue(axis, line, spaces);
        QTEST(got.value, "value");
        QTEST(got.length, "length");
        QTEST(got.found, "found");
        QTEST(axis, "axisAfter");
        QCOMPARE(line, before);
    }

    void stripComments_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one comment") << "(" << ")" << QByteArray("G01 (CUT) X1.") << QByteArray("G01  X1.");
        QTest::newRow("two comments") << "(" << ")" << QByteArray("N10 (A) X1 (B)") << QByteArray("N10  X1 ");
        QTest::newRow("unterminated") << "(" << ")" << QByteArray("G01 (CUT") << QByteArray("G01 ");
        QTest::newRow("end without start is text") << "(" << ")" << QByteArray("X1 ) Y2 (C) Z3")
                                                   << QByteArray("X1 ) Y2  Z3");
        QTest::newRow("no nesting") << "(" << ")" << QByteArray("((A)B)") << QByteArray("B)");
        QTest::newRow("empty line") << "(" << ")" << QByteArray() << QByteArray();
        QTest::newRow("to the end of the line") << ";" << "" << QByteArray("G01 X1 ; note") << QByteArray("G01 X1 ");
        QTest::newRow("first start counts") << ";" << "" << QByteArray("; a ; b") << QByteArray();
        QTest::newRow("empty start: no comments") << "" << ")" << QByteArray("G01 (A) X1") << QByteArray("G01 (A) X1");
        QTest::newRow("case matters") << "REM" << "" << QByteArray("X1 rem a") << QByteArray("X1 rem a");
        QTest::newRow("exact start") << "REM" << "" << QByteArray("X1 REM a") << QByteArray("X1 ");
        QTest::newRow("long delimiters") << "/*" << "*/" << QByteArray("X1 /*a*/ Y2") << QByteArray("X1  Y2");
        QTest::newRow("end may not overlap the start") << "/*" << "*/" << QByteArray("X1 /*/ Y2") << QByteArray("X1 ");
        QTest::newRow("sides of a comment do not join") << "/*" << "*/" << QByteArray("A//*x*/*B*/C")
                                                        << QByteArray("A/*B*/C");
        QTest::newRow("Latin-1 delimiters") << QString::fromUtf8("\xc2\xab") << QString::fromUtf8("\xc2\xbb")
                                            << QByteArray("X1 \xabnote\xbb Y2") << QByteArray("X1  Y2");
        QTest::newRow("delimiter outside Latin-1") << QString::fromUtf8("\xe2\x86\x92") << ""
                                                   << QByteArray("X1 ? Y2") << QByteArray("X1 ? Y2");
        QTest::newRow("other bytes kept") << "(" << ")" << QByteArray("X\x01\xff(\0)Y", 7)
                                          << QByteArray("X\x01\xffY");
    }

    void stripComments()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QByteArray, line);
        QTEST(functions::stripComments(line, start, end), "expected");
    }

    // The lookup that skips comments strips them from the line it is given, then looks.
    void findAxisValueNoComments()
    {
        QString axis = QStringLiteral(" X");
        QByteArray line("(MAX DEPTH) X1. ; X5");
        const functions::AxisValue got = functions::findAxisValueNoComments(axis, line, true, "(", ")");
        QCOMPARE(got.value, 1.0);
        QCOMPARE(got.length, 3.0);
        QCOMPARE(got.found, 1.0);
        QCOMPARE(line, QByteArray(" X1. ; X5"));
        QCOMPARE(axis, QStringLiteral("X"));
    }
};

VORNEXA_TEST_MAIN(TestAxisLookup)
#include "tst_tools_axislookup.moc"
