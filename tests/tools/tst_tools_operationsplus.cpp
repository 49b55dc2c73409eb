#include "linerun.h"
#include "numbers.h"
#include "operationsplus.h"
#include "testenv.h"

#include <QRandomGenerator>

#include <charconv>
#include <cmath>

using tools::Comparison;
using tools::LineFault;
using tools::Operation;
using tools::OperationsPlusSettings;
using Lines = QList<QByteArray>;

Q_DECLARE_METATYPE(tools::OperationsPlusSettings)
Q_DECLARE_METATYPE(tools::LineFault)

namespace {

// "Find where the A axis is <comparison> <t>, then <operation> <value> to B."
OperationsPlusSettings when(const char *a, Comparison comparison, const char *t, Operation operation,
                            const char *value, const char *b)
{
    OperationsPlusSettings s;
    s.conditionAxis = QString::fromLatin1(a);
    s.comparison = comparison;
    s.conditionValue = QString::fromLatin1(t);
    s.operation = operation;
    s.value = QString::fromLatin1(value);
    s.axis = QString::fromLatin1(b);
    return s;
}

OperationsPlusSettings stepping(OperationsPlusSettings s, bool onReplacement, bool onLine, Operation operation,
                                const char *step)
{
    s.stepOnReplacement = onReplacement;
    s.stepOnLine = onLine;
    s.stepOperation = operation;
    s.step = QString::fromLatin1(step);
    return s;
}

OperationsPlusSettings currentLineOnly(OperationsPlusSettings s)
{
    s.realPosition = false;
    return s;
}

} // namespace

class TestOperationsPlus : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<OperationsPlusSettings>("settings");
        QTest::addColumn<bool>("spaces");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Lines>("expected");
        QTest::addColumn<QString>("value");    // txtValue and Label11 afterwards
        QTest::addColumn<double>("position");  // the last known position of A afterwards
        QTest::addColumn<int>("stoppedAt");
        QTest::addColumn<LineFault>("fault");
        // A run that goes to the end, with spaces off and lines of 498 bytes unless told.
        const auto row = [](const char *name, const OperationsPlusSettings &s, const Lines &lines, const Lines &expected,
                            const char *value, double position, bool spaces = false) {
            QTest::newRow(name) << s << spaces << 498 << lines << expected << QString::fromLatin1(value) << position
                                << -1 << LineFault::None;
        };
        const auto stops = [](const char *name, const OperationsPlusSettings &s, int maxLength, const Lines &lines,
                              const Lines &expected, const char *value, double position, int at, LineFault fault) {
            QTest::newRow(name) << s << false << maxLength << lines << expected << QString::fromLatin1(value)
                                << position << at << fault;
        };
        const auto zAbove = when("Z", Comparison::Greater, "-1", Operation::Add, "0.5", "X");
        for (bool spaces : {false, true})
            row(spaces ? "condition holds or not, spaces on" : "condition holds or not, spaces off", zAbove,
                {"X1. Z0.", "X1. Z-2."}, {"X1.5 Z0.", "X1. Z-2."}, "0.5", -2.0, spaces);
        const auto zBelow = when("Z", Comparison::Less, "-1", Operation::Add, "1", "X");
        row("real position: a line without A takes the last one", zBelow, {"X1. Z-5.", "X2."}, {"X2. Z-5.", "X3."},
            "1", -5.0);
        row("current line only: a line without A counts as 0",
            currentLineOnly(when("Z", Comparison::Less, "1", Operation::Add, "1", "X")), {"X1. Z5.", "X2."},
            {"X1. Z5.", "X3."}, "1", 5.0);
        row("a line without B is not looked at", zBelow, {"Z-5. Y1", "X1."}, {"Z-5. Y1", "X1."}, "1", 0.0);
        for (bool spaces : {false, true})
            row(spaces ? "A with no number keeps the last position, spaces on"
                       : "A with no number keeps the last position, spaces off",
                zBelow, {"X1 Z-3", "X1 Z Y2"}, {"X2. Z-3", "X2. Z Y2"}, "1", -3.0, spaces);
        row("words, not letters: comments and tokens hold no A or B", zBelow,
            {"(FIXTURE X) Z-3 X1", "(MAX Z9) X1", "#<zsafe>=2 X1"},
            {"(FIXTURE X) Z-3 X2.", "(MAX Z9) X2.", "#<zsafe>=2 X2."}, "1", -3.0);
        row("no 0 word for a bare B", zBelow, {"Z-3 X", "G0 X Y1"}, {"Z-3 X", "G0 X Y1"}, "1", 0.0);
        row("an expression is left alone, the line step still counts",
            stepping(zBelow, false, true, Operation::Add, "1"), {"X[#1] Z-3", "X1 Z#2", "X1 Z-3"},
            {"X[#1] Z-3", "X1 Z#2", "X4. Z-3"}, "4", -3.0);
        row("equal compares the numbers exactly", when("Z", Comparison::Equal, "0.30", Operation::Multiply, "2", "F"),
            {"Z.3 F100", "Z0.3000001 F100"}, {"Z.3 F200.", "Z0.3000001 F100"}, "2", 0.3000001);
        row("not equal", when("Z", Comparison::NotEqual, "0", Operation::Subtract, "1", "Z"), {"Z0", "Z2"},
            {"Z0", "Z1."}, "1", 2.0);
        const auto zPositive = [](Operation operation, const char *value) {
            return when("Z", Comparison::Greater, "0", operation, value, "X");
        };
        row("five lines stepped by 1 from 0",
            stepping(when("Z", Comparison::Greater, "-100", Operation::Add, "0", "X"), false, true, Operation::Add, "1"),
            Lines(5, "X10 Z1"), {"X10. Z1", "X11. Z1", "X12. Z1", "X13. Z1", "X14. Z1"}, "5", 1.0);
        row("replacement step also where the condition fails",
            stepping(zPositive(Operation::Add, "0"), true, false, Operation::Add, "1"), {"X1 Z1", "X1 Z-1", "Y1", "X1 Z1"},
            {"X1. Z1", "X1 Z-1", "Y1", "X3. Z1"}, "3", 1.0);
        row("both steps on a line holding B, the line step alone elsewhere",
            stepping(zPositive(Operation::Add, "1"), true, true, Operation::Multiply, "2"), {"X1 Z1", "Y1"},
            {"X2. Z1", "Y1"}, "8", 1.0);
        row("stepped value in its plain text form",
            stepping(zPositive(Operation::Add, "0.1"), false, true, Operation::Add, "0.2"), {"X0 Z1", "X0 Z1"},
            {"X0.1 Z1", "X0.3 Z1"}, "0.5", 1.0);
        stops("dividing by a value stepped to 0 stops the run",
              stepping(zPositive(Operation::Divide, "1"), false, true, Operation::Subtract, "1"), 498,
              Lines(3, "X4 Z1"), {"X4. Z1", "X4 Z1", "X4 Z1"}, "0", 1.0, 1, LineFault::DivideByZero);
        stops("a step past a double stops the run, nothing changed",
              stepping(zPositive(Operation::Multiply, "1E300"), false, true, Operation::Multiply, "1E300"), 498,
              Lines(2, "X0 Z1"), {"X0 Z1", "X0 Z1"}, "1E300", 0.0, 0, LineFault::NotFinite);
        stops("a line too long stops the run before the value steps",
              stepping(zPositive(Operation::Add, "0.25"), false, true, Operation::Add, "1"), 9, {"X1 Z1", "X100 Z1"},
              {"X1.25 Z1", "X100 Z1"}, "1.25", 1.0, 1, LineFault::TooLong);
    }

    void runs()
    {
        QFETCH(OperationsPlusSettings, settings);
        QFETCH(bool, spaces);
        QFETCH(int, maxLength);
        QFETCH(Lines, lines);
        tools::LineRules rules;
        rules.spaces = spaces;
        rules.maxLength = maxLength;
        tools::OperationsPlusWork work(settings, rules);
        const LineRun run = runLines(work, lines);
        QTEST(run.lines, "expected");
        QTEST(work.value(), "value");
        QTEST(work.lastPosition(), "position");
        QTEST(static_cast<int>(run.stoppedAt), "stoppedAt");
        QTEST(run.fault, "fault");
    }

    // Each step writes the value as text and reads it back, so small errors of binary fractions
    // never pile up: 10,000 steps of 0.1 from 0 end at exactly 1000, where adding the double 0.1
    // itself 10,000 times would not.
    void tenThousandStepsOfATenth()
    {
        double sum = 0.0;
        for (int i = 0; i < 10000; ++i)
            sum += 0.1;
        QVERIFY(sum != 1000.0);

        const auto settings = stepping(when("Z", Comparison::Greater, "0", Operation::Add, "0", "X"), false, true,
                                       Operation::Add, "0.1");
        tools::OperationsPlusWork work(settings, tools::LineRules{});
        QByteArray out;
        for (int i = 0; i < 10000; ++i)
            QCOMPARE(work("Y1", out), LineFault::None);
        QCOMPARE(work.value(), QStringLiteral("1000"));
        QCOMPARE(work.number(), 1000.0);
        QCOMPARE(work("X0 Z1", out), LineFault::None);
        QCOMPARE(out, QByteArray("X1000. Z1"));
    }

    // The stepped value is the number its 15-digit text reads back as, whichever way it is worked out.
    void fifteenDigitValueIsItsTextReadBack()
    {
        QList<double> values = {0.1 + 0.2, 1000.0000000000001, 1.000030517578125, -1.000030517578125, 9.999999999999999,
                                99999999999999.97, 999999999999999.4, 1e15, 1e-8, 9.99999999999999e-9, 5e-324,
                                1.7976931348623157e308, 0.1, -2.5, 123456.78901234567, 1e-5, 4503599627370496.5};
        QRandomGenerator random(15);
        for (int i = 0; i < 200000; ++i) {
            const double magnitude = std::pow(10.0, random.bounded(40.0) - 20.0);
            values.append((random.bounded(2) ? -1 : 1) * magnitude * (1.0 + random.generateDouble()));
            // Values whose 16th digit is a 5, and sums of steps of a tenth.
            values.append((random.bounded(Q_INT64_C(900000000000000)) + Q_INT64_C(100000000000000)) * 10 + 5);
            values.append(random.bounded(100000) / 10.0 + 0.1);
        }
        for (double v : values) {
            char text[32];
            const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 15).ptr;
            const double readBack = functions::leadingNumber(QByteArrayView(text, end - text));
            const double got = tools::fifteenDigitValue(v);
            QVERIFY2(got == readBack && std::signbit(got) == std::signbit(readBack),
                     qPrintable(QString::number(v, 'g', 17)));
            if (std::isfinite(got) && got != 0.0)
                QCOMPARE(tools::fifteenDigitText(got), QString::fromLatin1(text, end - text));
        }
        QCOMPARE(tools::fifteenDigitText(0.1 + 0.2), QStringLiteral("0.3"));
        QCOMPARE(tools::fifteenDigitText(2.0 + 1.0), QStringLiteral("3"));
        QCOMPARE(tools::fifteenDigitText(0.00001), QStringLiteral("1e-05"));
        QCOMPARE(tools::fifteenDigitValue(1.7976931348623157e308), std::numeric_limits<double>::infinity());
    }

    void checkFields_data()
    {
        QTest::addColumn<OperationsPlusSettings>("settings");
        QTest::addColumn<QString>("refusal");
        const QString textNull = QStringLiteral("TEXTNULL");
        const QString byZero = tools::divideByZeroText();
        const auto good = when("Z", Comparison::Greater, "-1", Operation::Add, "0.5", "X");
        QTest::newRow("filled in") << good << QString();
        QTest::newRow("no letter A") << when(" ", Comparison::Greater, "-1", Operation::Add, "0.5", "X") << textNull;
        QTest::newRow("no letter B") << when("Z", Comparison::Greater, "-1", Operation::Add, "0.5", "") << textNull;
        QTest::newRow("no value") << when("Z", Comparison::Greater, "-1", Operation::Add, "", "X") << textNull;
        QTest::newRow("value not numeric") << when("Z", Comparison::Greater, "-1", Operation::Add, "1.5.", "X")
                                           << textNull;
        QTest::newRow("condition value not numeric") << when("Z", Comparison::Greater, "", Operation::Add, "1", "X")
                                                     << textNull;
        QTest::newRow("step not numeric while stepping") << stepping(good, false, true, Operation::Add, "x")
                                                         << textNull;
        QTest::newRow("step unused") << stepping(good, false, false, Operation::Divide, "x") << QString();
        QTest::newRow("divide by 0") << when("Z", Comparison::Greater, "-1", Operation::Divide, "0.0", "X") << byZero;
        QTest::newRow("step by dividing by 0") << stepping(good, true, false, Operation::Divide, "0") << byZero;
        QTest::newRow("dividing by 0 that never steps") << stepping(good, false, false, Operation::Divide, "0")
                                                        << QString();
    }

    void checkFields()
    {
        QFETCH(OperationsPlusSettings, settings);
        QFETCH(QString, refusal);
        QCOMPARE(tools::checkFields(settings, QStringLiteral("TEXTNULL")).value_or(QString()), refusal);
    }
};

VORNEXA_TEST_MAIN(TestOperationsPlus)
#include "tst_tools_operationsplus.moc"
