#include "format.h"
#include "testenv.h"

using tools::LineFault;

Q_DECLARE_METATYPE(tools::LineFault)

class TestFormat : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<LineFault>("fault");
        const QString standard = QStringLiteral("0.####");
        QTest::newRow("spaces off") << standard << false << QByteArray("G01 X1.0000 Y2") << 498
                                    << QByteArray("G01 X1. Y2") << LineFault::None;
        QTest::newRow("spaces on") << standard << true << QByteArray("G01 X1.0000 Y2") << 498
                                   << QByteArray("G01 X1. Y2") << LineFault::None;
        QTest::newRow("leading zero") << standard << false << QByteArray("X01") << 498 << QByteArray("X1.")
                                      << LineFault::None;
        QTest::newRow("leading point") << standard << false << QByteArray("X-.5") << 498 << QByteArray("X-0.5")
                                       << LineFault::None;
        QTest::newRow("fixed places") << QStringLiteral("0.000") << false << QByteArray("X1") << 498
                                      << QByteArray("X1.000") << LineFault::None;
        QTest::newRow("a bare letter is no word") << standard << false << QByteArray("G01 X") << 498
                                                  << QByteArray("G01 X") << LineFault::None;
        QTest::newRow("comments hold no words") << standard << true << QByteArray("( Use XY plane ) G17 X1.0") << 498
                                                << QByteArray("( Use XY plane ) G17 X1.") << LineFault::None;
        QTest::newRow("an expression is left alone") << standard << false << QByteArray("G0 X[#<w>/2] Y1") << 498
                                                     << QByteArray("G0 X[#<w>/2] Y1") << LineFault::Expression;
        QTest::newRow("first occurrence only") << standard << false << QByteArray("x1.00 X2.00") << 498
                                               << QByteArray("x1. X2.00") << LineFault::None;
        QTest::newRow("no letter") << standard << true << QByteArray("G01 Y2.000") << 498
                                   << QByteArray("G01 Y2.000") << LineFault::None;
        QTest::newRow("too long") << QStringLiteral("0.000") << false << QByteArray("X1") << 5 << QByteArray("X1")
                                  << LineFault::TooLong;
        const QByteArray huge = "X" + QByteArray(400, '9');
        QTest::newRow("number past a double") << standard << false << huge << 498 << huge << LineFault::NotFinite;
    }

    void lines()
    {
        QFETCH(QString, picture);
        QFETCH(bool, spaces);
        QFETCH(QByteArray, line);
        QFETCH(int, maxLength);
        tools::LineRules rules;
        rules.outputFormat = picture;
        rules.spaces = spaces;
        rules.maxLength = maxLength;
        QByteArray out("left over from the line before");
        QTEST(tools::FormatWork(tools::FormatSettings{QStringLiteral("X")}, rules)(line, out), "fault");
        QTEST(out, "expected");
    }

    void checkFields()
    {
        const QString textNull = QStringLiteral("TEXTNULL");
        QCOMPARE(tools::checkFields(tools::FormatSettings{QStringLiteral("x")}, textNull), std::nullopt);
        QCOMPARE(tools::checkFields(tools::FormatSettings{QString()}, textNull), textNull);
        QCOMPARE(tools::checkFields(tools::FormatSettings{QStringLiteral("  ")}, textNull), textNull);
    }
};

VORNEXA_TEST_MAIN(TestFormat)
#include "tst_tools_format.moc"
