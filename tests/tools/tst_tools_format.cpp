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
        const auto row = [](const char *name, const QByteArray &line, const QByteArray &expected,
                            LineFault fault = LineFault::None, const char *picture = "0.####", bool spaces = false,
                            int maxLength = 498) {
            QTest::newRow(name) << QString::fromLatin1(picture) << spaces << line << maxLength << expected << fault;
        };
        row("spaces off", "G01 X1.0000 Y2", "G01 X1. Y2");
        row("spaces on", "G01 X1.0000 Y2", "G01 X1. Y2", LineFault::None, "0.####", true);
        row("leading zero", "X01", "X1.");
        row("leading point", "X-.5", "X-0.5");
        row("fixed places", "X1", "X1.000", LineFault::None, "0.000");
        row("a bare letter is no word", "G01 X", "G01 X");
        row("comments hold no words", "( Use XY plane ) G17 X1.0", "( Use XY plane ) G17 X1.", LineFault::None,
            "0.####", true);
        row("an expression is left alone", "G0 X[#<w>/2] Y1", "G0 X[#<w>/2] Y1", LineFault::Expression);
        row("first occurrence only", "x1.00 X2.00", "x1. X2.00");
        row("no letter", "G01 Y2.000", "G01 Y2.000", LineFault::None, "0.####", true);
        row("too long", "X1", "X1", LineFault::TooLong, "0.000", false, 5);
        const QByteArray huge = "X" + QByteArray(400, '9');
        row("number past a double", huge, huge, LineFault::NotFinite);
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
