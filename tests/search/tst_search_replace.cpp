#include "replace.h"
#include "testenv.h"

using search::Comparison;
using search::ReplaceMode;
using search::ReplaceSettings;
using search::TextAction;
using tools::LineFault;

Q_DECLARE_METATYPE(search::ReplaceMode)
Q_DECLARE_METATYPE(search::ReplaceSettings)
Q_DECLARE_METATYPE(tools::LineFault)

namespace {


// The condition X > 5 of the axis actions.
ReplaceSettings whereXAbove5()
{
    ReplaceSettings s;
    s.axis = "X";
    s.value = "5";
    return s;
}

ReplaceSettings textAction(const char *find, const char *by, TextAction action, bool matchCase)
{
    ReplaceSettings s;
    s.find = find;
    s.replacement = by;
    s.action = action;
    s.matchCase = matchCase;
    return s;
}

} // namespace

class TestReplace : public QObject
{
    Q_OBJECT

private slots:
    void work_data()
    {
        QTest::addColumn<ReplaceMode>("mode");
        QTest::addColumn<ReplaceSettings>("settings");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<LineFault>("fault");
        const auto text = textAction;
        const auto row = [](const char *name, ReplaceMode mode, const ReplaceSettings &s, const QByteArray &line,
                            const QByteArray &expected, LineFault fault = LineFault::None, int maxLength = 498) {
            QTest::newRow(name) << mode << s << line << expected << maxLength << fault;
        };
        row("case ignored replaces every case", ReplaceMode::Text, text("ab", "x", TextAction::ReplaceFound, false),
            "ab AB aB", "x x x");
        row("match case replaces only the case it matched", ReplaceMode::Text,
            text("ab", "x", TextAction::ReplaceFound, true), "ab AB", "x AB");
        row("match case, only another case: no match", ReplaceMode::Text,
            text("ab", "x", TextAction::AppendToLine, true), "AB", "AB");
        row("occurrences do not overlap", ReplaceMode::Text, text("aa", "b", TextAction::ReplaceFound, false), "aaa",
            "ba");
        row("whole line", ReplaceMode::Text, text("M6", "M06 T1", TextAction::ReplaceWholeLine, false), "N10 m6",
            "M06 T1");
        row("append", ReplaceMode::Text, text("M30", " (END)", TextAction::AppendToLine, false), "M30", "M30 (END)");
        row("a control name writes the character", ReplaceMode::Text,
            text("(HT)", "(SP)", TextAction::ReplaceFound, false), "X1\tY2", "X1(SP)Y2");

        ReplaceSettings setY = whereXAbove5();
        setY.replaceAxis = "Y";
        setY.replaceValue = "7.5";
        row("set a second letter's value", ReplaceMode::SetValue, setY, "G01 X10 Y5", "G01 X10 Y7.5");
        row("set a value: the letter's case kept, the rest of the line too", ReplaceMode::SetValue, setY,
            "x6 y-1.25Z0", "x6 y7.5Z0");
        row("set a value: a line without the second letter stays", ReplaceMode::SetValue, setY, "G01 X10 Z5",
            "G01 X10 Z5");
        row("set a value: condition fails", ReplaceMode::SetValue, setY, "G01 X5 Y5", "G01 X5 Y5");
        // Words, never letters: comments, expressions and the spaces after a number are left as they are.
        row("set a value: the word, not a comment's letter, and the spaces after it stay", ReplaceMode::SetValue, setY,
            "G01 X10 (Y AXIS) Y5  Z1", "G01 X10 (Y AXIS) Y7.5  Z1");
        row("set a value: the condition is read outside comments", ReplaceMode::SetValue, setY, "(X9) X1 Y5",
            "(X9) X1 Y5");
        row("set a value: an expression in the second letter is left alone", ReplaceMode::SetValue, setY, "X10 Y#2",
            "X10 Y#2", LineFault::Expression);

        ReplaceSettings then = whereXAbove5();
        then.thenFind = "g01";
        then.thenReplace = "G00";
        row("then replace, case ignored", ReplaceMode::ReplaceText, then, "G01 X9 g01", "G00 X9 G00");
        then.thenMatchCase = true;
        row("then replace, match case", ReplaceMode::ReplaceText, then, "G01 X9 g01", "G01 X9 G00");

        ReplaceSettings whole = whereXAbove5();
        row("whole line emptied", ReplaceMode::WholeLine, whole, "G01 X9", QByteArray());
        whole.comparison = Comparison::NotEqual;
        whole.wholeLine = "M00";
        row("no letter, no change, even for < >", ReplaceMode::WholeLine, whole, "G01 Y9", "G01 Y9");
        ReplaceSettings append = whereXAbove5();
        append.appendText = " F100.";
        row("append where the condition holds", ReplaceMode::AppendLine, append, "X6", "X6 F100.");
        row("an expression in the condition's word is left alone", ReplaceMode::AppendLine, append, "X[#1+6]",
            "X[#1+6]", LineFault::Expression);
        row("a line that would outgrow its record stays", ReplaceMode::AppendLine, append, "X6", "X6",
            LineFault::TooLong, 7);
        row("just fits", ReplaceMode::AppendLine, append, "X6", "X6 F100.", LineFault::None, 8);
    }
    void work()
    {
        QFETCH(ReplaceMode, mode);
        QFETCH(ReplaceSettings, settings);
        QFETCH(QByteArray, line);
        QFETCH(int, maxLength);
        QCOMPARE(search::checkReplaceFields(settings, mode, QStringLiteral("TEXTNULL")), std::nullopt);
        tools::LineRules rules;
        rules.maxLength = maxLength;
        QByteArray out("left over from the line before");
        QTEST(search::ReplaceWork(settings, mode, rules)(line, out), "fault");
        QTEST(out, "expected");
    }

    // The new value is written with the output picture.
    void setValueUsesThePicture()
    {
        ReplaceSettings settings = whereXAbove5();
        settings.replaceAxis = "Y";
        settings.replaceValue = "7.5";
        tools::LineRules rules;
        rules.outputFormat = QStringLiteral("0.000");
        QByteArray out;
        search::ReplaceWork(settings, ReplaceMode::SetValue, rules)("G01 X10 Y5", out);
        QCOMPARE(out, QByteArray("G01 X10 Y7.500"));
    }

    void checks_data()
    {
        QTest::addColumn<ReplaceMode>("mode");
        QTest::addColumn<ReplaceSettings>("settings");
        QTest::addColumn<QString>("refusal"); // empty: runs
        ReplaceSettings ready = whereXAbove5();
        ready.find = "G01";
        ready.replaceAxis = "Y";
        ready.replaceValue = "1";
        ReplaceSettings s = ready;
        QTest::newRow("ready, every mode") << ReplaceMode::Text << s << "";
        s.find.clear();
        QTest::newRow("empty txtFind") << ReplaceMode::Text << s << "TEXTNULL";
        QTest::newRow("txtFind unused by the axis actions") << ReplaceMode::WholeLine << s << "";
        s = ready;
        s.axis = " ";
        QTest::newRow("blank txtAxis") << ReplaceMode::AppendLine << s << "TEXTNULL";
        QTest::newRow("txtAxis unused by the text action") << ReplaceMode::Text << s << "";
        s = ready;
        s.value = "5a";
        QTest::newRow("txtValue not numeric") << ReplaceMode::ReplaceText << s << "TEXTNULL";
        s = ready;
        s.replaceValue.clear();
        QTest::newRow("txtReplaceValue empty") << ReplaceMode::SetValue << s << "TEXTNULL";
        QTest::newRow("txtReplaceValue unused by mode 4") << ReplaceMode::WholeLine << s << "";
        s = ready;
        s.replaceAxis.clear();
        QTest::newRow("txtReplaceAxis empty") << ReplaceMode::SetValue << s << "TEXTNULL";
        s = ready;
        s.appendText = QString(QChar(0x20AC));
        QTest::newRow("a text no line can hold")
            << ReplaceMode::AppendLine << s
            << QString::fromUtf8("The text \"\u20ac\" holds a character that a program line cannot hold.");
    }
    void checks()
    {
        QFETCH(ReplaceMode, mode);
        QFETCH(ReplaceSettings, settings);
        QFETCH(QString, refusal);
        QCOMPARE(search::checkReplaceFields(settings, mode, QStringLiteral("TEXTNULL")).value_or(QString()), refusal);
    }
};

VORNEXA_TEST_MAIN(TestReplace)
#include "tst_search_replace.moc"
