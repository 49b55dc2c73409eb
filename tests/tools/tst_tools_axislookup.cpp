#include "axislookup.h"
#include "testenv.h"

class TestAxisLookup : public QObject
{
    Q_OBJECT

private slots:
    void stripComments_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("lineComment");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one comment") << "(" << ")" << "" << QByteArray("G01 (CUT) X1.") << QByteArray("G01  X1.");
        QTest::newRow("two comments") << "(" << ")" << "" << QByteArray("N10 (A) X1 (B)") << QByteArray("N10  X1 ");
        QTest::newRow("unterminated") << "(" << ")" << "" << QByteArray("G01 (CUT") << QByteArray("G01 ");
        QTest::newRow("end without start is text") << "(" << ")" << "" << QByteArray("X1 ) Y2 (C) Z3")
                                                   << QByteArray("X1 ) Y2  Z3");
        QTest::newRow("no nesting") << "(" << ")" << "" << QByteArray("((A)B)") << QByteArray("B)");
        QTest::newRow("empty line") << "(" << ")" << "" << QByteArray() << QByteArray();
        QTest::newRow("to the end of the line") << ";" << "" << "" << QByteArray("G01 X1 ; note")
                                                << QByteArray("G01 X1 ");
        QTest::newRow("first start counts") << ";" << "" << "" << QByteArray("; a ; b") << QByteArray();
        QTest::newRow("empty start: no comments") << "" << ")" << "" << QByteArray("G01 (A) X1")
                                                  << QByteArray("G01 (A) X1");
        QTest::newRow("case matters") << "REM" << "" << "" << QByteArray("X1 rem a") << QByteArray("X1 rem a");
        QTest::newRow("exact start") << "REM" << "" << "" << QByteArray("X1 REM a") << QByteArray("X1 ");
        QTest::newRow("long delimiters") << "/*" << "*/" << "" << QByteArray("X1 /*a*/ Y2") << QByteArray("X1  Y2");
        QTest::newRow("end may not overlap the start") << "/*" << "*/" << "" << QByteArray("X1 /*/ Y2")
                                                       << QByteArray("X1 ");
        QTest::newRow("sides of a comment do not join") << "/*" << "*/" << "" << QByteArray("A//*x*/*B*/C")
                                                        << QByteArray("A/*B*/C");
        QTest::newRow("Latin-1 delimiters") << QString::fromUtf8("\xc2\xab") << QString::fromUtf8("\xc2\xbb") << ""
                                            << QByteArray("X1 \xabnote\xbb Y2") << QByteArray("X1  Y2");
        QTest::newRow("delimiter outside Latin-1") << QString::fromUtf8("\xe2\x86\x92") << "" << ""
                                                   << QByteArray("X1 ? Y2") << QByteArray("X1 ? Y2");
        QTest::newRow("line comment") << "(" << ")" << ";" << QByteArray("G01 X1 ; note (A)") << QByteArray("G01 X1 ");
        QTest::newRow("line comment inside a delimited one")
            << "(" << ")" << ";" << QByteArray("X1 (A;B) Y2 ; C") << QByteArray("X1  Y2 ");
        QTest::newRow("line comment in an unterminated one") << "(" << ")" << ";" << QByteArray("X1 (A;B")
                                                             << QByteArray("X1 ");
        QTest::newRow("line comment alone") << "" << "" << ";" << QByteArray(";only a note") << QByteArray();
        QTest::newRow("line comment of two bytes") << "(" << ")" << "//" << QByteArray("X1 / 2 // X3")
                                                   << QByteArray("X1 / 2 ");
        QTest::newRow("line comment outside Latin-1") << "(" << ")" << QString::fromUtf8("\xe2\x86\x92")
                                                      << QByteArray("X1 ? Y2") << QByteArray("X1 ? Y2");
        QTest::newRow("other bytes kept") << "(" << ")" << "" << QByteArray("X\x01\xff(\0)Y", 7)
                                          << QByteArray("X\x01\xffY");
    }

    void stripComments()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, lineComment);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QCOMPARE(functions::stripComments(line, tessarc::CommentRule{start, end, lineComment}), expected);
        if (lineComment.isEmpty())
            QCOMPARE(functions::stripComments(line, start, end), expected);
    }
};

VORNEXA_TEST_MAIN(TestAxisLookup)
#include "tst_tools_axislookup.moc"
