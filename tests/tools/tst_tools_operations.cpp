#include "linework.h"
#include "numbers.h"
#include "operations.h"
#include "testenv.h"

using tools::LineFault;
using tools::Operation;

Q_DECLARE_METATYPE(tools::Operation)
Q_DECLARE_METATYPE(tools::LineFault)

namespace {

void row(const char *name, bool spaces, Operation op, const char *axis, const char *value, const QByteArray &line,
         const QByteArray &expected, const char *picture = "", LineFault fault = LineFault::None, int maxLength = 498)
{
    QTest::addRow("%s, spaces %s", name, spaces ? "on" : "off") << op << QString::fromLatin1(axis)
        << QString::fromLatin1(value) << spaces << line << expected << QString::fromLatin1(picture) << fault << maxLength;
}

void both(const char *name, Operation op, const char *axis, const char *value, const QByteArray &line,
          const QByteArray &expected)
{
    row(name, false, op, axis, value, line, expected);
    row(name, true, op, axis, value, line, expected);
}

} // namespace

class TestOperations : public QObject
{
    Q_OBJECT

private slots:
    void rewriteLine_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("picture"); // empty: the default
        QTest::addColumn<LineFault>("fault");   // the line is left as it was
        QTest::addColumn<int>("maxLength");
        both("add keeps the space after the number", Operation::Add, "X", "0.5", "G01 X1. Y2.", "G01 X1.5 Y2.");
        both("add at the start of the line", Operation::Add, "X", "0.5", "X1. Y2.", "X1.5 Y2.");
        both("line without the letter", Operation::Add, "X", "0.5", "G01 Y2.", "G01 Y2.");
        both("subtract keeps the letter's case", Operation::Subtract, "X", "2", "x1.5", "x-0.5");
        both("multiply", Operation::Multiply, "Z", "2", "Z-1.25F10.", "Z-2.5F10.");
        both("divide", Operation::Divide, "F", "2", "G01 X1 F300.", "G01 X1 F150.");
        both("negative number replaced whole", Operation::Add, "X", "1", "G01X-1.5Y2.", "G01X-0.5Y2.");
        row("spaces inside the number", true, Operation::Add, "X", "1", "X 1.5 Y2", "X 2.5 Y2");
        row("space after the letter is no number", false, Operation::Add, "X", "1", "X 1.5 Y2", "X 1.5 Y2");
        both("letters of a comment are not words", Operation::Add, "X", "5", "(CUT X SIDE) G1 X10. Y5.",
             "(CUT X SIDE) G1 X15. Y5.");
        both("nor those of an alphabetic token", Operation::Add, "Z", "1", "(on the Mazak) g0 z1", "(on the Mazak) g0 z2.");
        both("nor those after a line comment", Operation::Add, "X", "1", "G0 Y1 ; X5", "G0 Y1 ; X5");
        both("nor a parameter's name", Operation::Add, "X", "1", "#<xscale>=2 X1", "#<xscale>=2 X2.");
        both("number takes the output form", Operation::Add, "X", "0", "X1.0000", "X1.");
        both("first word only", Operation::Add, "X", "1", "X1 X2", "X2. X2");
        both("a bare letter is no word", Operation::Add, "X", "2.5", "G01 X", "G01 X");
        both("a bare letter before the word", Operation::Add, "X", "1", "X Y1 X2", "X Y1 X3.");
        row("a parameter stands for the number", false, Operation::Add, "Z", "1", "g0 z#3", "g0 z#3", "",
            LineFault::Expression);
        row("an expression stands for the number", true, Operation::Add, "X", "1", "G1 X [#1*2] Y1 X3", "G1 X [#1*2] Y1 X3",
            "", LineFault::Expression);
        both("result that rounds to zero", Operation::Subtract, "X", "0.00002", "X0.00001", "X0.");
        both("constant with an exponent", Operation::Multiply, "X", "1E2", "X0.015", "X1.5");
        both("constant with spaces", Operation::Add, "X", " 1 ", "X1", "X2.");
        both("blank letter changes nothing", Operation::Add, " ", "1", "X1 Y2", "X1 Y2");
        row("another picture", true, Operation::Add, "Z", "1", "G01 Z1 F5", "G01 Z2.000 F5", "0.000");
        both("other bytes kept", Operation::Add, "X", "1", QByteArray("X1.\x01\xff(\xe9)\0", 9),
             QByteArray("X2.\x01\xff(\xe9)\0", 9));
        // "X1" becomes "X1.1235" (spaces are not numbers here): the line grows from 8 to 13 bytes.
        row("one byte too long", false, Operation::Add, "X", "0.12345", "X1 Y2 Z3", "X1 Y2 Z3", "", LineFault::TooLong, 12);
        row("exactly as long as a line holds", false, Operation::Add, "X", "0.12345", "X1 Y2 Z3", "X1.1235 Y2 Z3", "",
            LineFault::None, 13);
        row("divide by zero", false, Operation::Divide, "X", "0", "X1 Y2", "X1 Y2", "", LineFault::NotFinite);
        row("zero divided by zero", false, Operation::Divide, "X", "0", "X0 Y2", "X0 Y2", "", LineFault::NotFinite);
        row("large but finite", false, Operation::Multiply, "X", "1E300", "X1E10", "X1" + QByteArray(300, '0') + ".E10");
        row("overflow past a double", false, Operation::Multiply, "X", "1E300", "X" + QByteArray(20, '9'),
            "X" + QByteArray(20, '9'), "", LineFault::NotFinite);
        row("result too large", true, Operation::Multiply, "X", "1e308", "X9 Y1", "X9 Y1", "", LineFault::NotFinite);
        row("number text past the quick reading", false, Operation::Add, "X", "1", "X" + QByteArray(70, '9'),
            "X" + functions::formatNumber(1e70, u"0.####").toLatin1());
    }

    // The whole rewrite and the prepared per-line work of a run give the same line.
    void rewriteLine()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(bool, spaces);
        QFETCH(QByteArray, line);
        QFETCH(QString, picture);
        tools::LineRules rules;
        rules.spaces = spaces;
        QFETCH(int, maxLength);
        rules.maxLength = maxLength;
        if (!picture.isEmpty())
            rules.outputFormat = picture;
        const tools::LineResult got = tools::rewriteLine({operation, axis, value}, line, rules);
        QTEST(got.fault, "fault");
        QTEST(got.line, "expected");
        QByteArray out("left over from the line before");
        QTEST(tools::OperationsWork({operation, axis, value}, rules)(line, out), "fault");
        QTEST(out, "expected");
    }

    void checkFields_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("axis");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        const QString textNull = QStringLiteral("TEXTNULL");
        const QString byZero = tools::divideByZeroText();
        QTest::newRow("filled in") << Operation::Add << "X" << "0.5" << QString();
        QTest::newRow("empty value") << Operation::Add << "X" << "" << textNull;
        QTest::newRow("empty axis") << Operation::Add << "" << "1" << textNull;
        QTest::newRow("blank axis") << Operation::Add << " " << "1" << textNull;
        QTest::newRow("value not numeric") << Operation::Add << "X" << "abc" << textNull;
        QTest::newRow("divide by zero") << Operation::Divide << "X" << "0" << byZero;
        QTest::newRow("divide by zero written long") << Operation::Divide << "X" << " -0.000 " << byZero;
        QTest::newRow("divide by a tiny number") << Operation::Divide << "X" << "1E-400" << byZero;
        QTest::newRow("divide by two") << Operation::Divide << "X" << "2" << QString();
        QTest::newRow("multiply by zero") << Operation::Multiply << "X" << "0" << QString();
        QTest::newRow("empty value before zero") << Operation::Divide << "X" << "" << textNull;
    }

    void checkFields()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, axis);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const std::optional<QString> got = tools::checkFields({operation, axis, value}, QStringLiteral("TEXTNULL"));
        QCOMPARE(got.value_or(QString()), message);
        QCOMPARE(got.has_value(), !message.isEmpty());
    }
};

VORNEXA_TEST_MAIN(TestOperations)
#include "tst_tools_operations.moc"
