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
        QTest::newRow("case ignored replaces every case")
            << ReplaceMode::Text << text("ab", "x", TextAction::ReplaceFound, false) << QByteArray("ab AB aB")
            << QByteArray("x x x") << 498 << LineFault::None;
        QTest::newRow("match case replaces only the case it matched")
            << ReplaceMode::Text << text("ab", "x", TextAction::ReplaceFound, true) << QByteArray("ab AB")
            << QByteArray("x AB") << 498 << LineFault::None;
        QTest::newRow("match case, only another case: no match")
            << ReplaceMode::Text << text("ab", "x", TextAction::AppendToLine, true) << QByteArray("AB")
            << QByteArray("AB") << 498 << LineFault::None;
        QTest::newRow("occurrences do not overlap")
            << ReplaceMode::Text << text("aa", "b", TextAction::ReplaceFound, false) << QByteArray("aaa")
            << QByteArray("ba") << 498 << LineFault::None;
        QTest::newRow("whole line") << ReplaceMode::Text << text("M6", "M06 T1", TextAction::ReplaceWholeLine, false)
                                    << QByteArray("N10 m6") << QByteArray("M06 T1") << 498 << LineFault::None;
        QTest::newRow("append") << ReplaceMode::Text << text("M30", " (END)", TextAction::AppendToLine, false)
                                << QByteArray("M30") << QByteArray("M30 (END)") << 498 << LineFault::None;
        QTest::newRow("a control name writes the character")
            << ReplaceMode::Text << text("(HT)", "(SP)", TextAction::ReplaceFound, false) << QByteArray("X1\tY2")
            << QByteArray("X1(SP)Y2") << 498 << LineFault::None;

        ReplaceSettings setY = whereXAbove5();
        setY.replaceAxis = "Y";
        setY.replaceValue = "7.5";
        QTest::newRow("set a second letter's value") << ReplaceMode::SetValue << setY << QByteArray("G01 X10 Y5")
                                                     << QByteArray("G01 X10 Y7.5") << 498 << LineFault::None;
        QTest::newRow("set a value: the letter's case kept, the rest of the line too")
            << ReplaceMode::SetValue << setY << QByteArray("x6 y-1.25Z0") << QByteArray("x6 y7.5Z0") << 498
            << LineFault::None;
        QTest::newRow("set a value: a line without the second letter stays")
            << ReplaceMode::SetValue << setY << QByteArray("G01 X10 Z5") << QByteArray("G01 X10 Z5") << 498
            << LineFault::None;
        QTest::newRow("set a value: condition fails") << ReplaceMode::SetValue << setY << QByteArray("G01 X5 Y5")
                                                      << QByteArray("G01 X5 Y5") << 498 << LineFault::None;
        // Words, never letters: comments, expressions and the spaces after a number are left as they are.
        QTest::newRow("set a value: the word, not a comment's letter, and the spaces after it stay")
            << ReplaceMode::SetValue << setY << QByteArray("G01 X10 (Y AXIS) Y5  Z1")
            << QByteArray("G01 X10 (Y AXIS) Y7.5  Z1") << 498 << LineFault::None;
        QTest::newRow("set a value: the condition is read outside comments")
            << ReplaceMode::SetValue << setY << QByteArray("(X9) X1 Y5") << QByteArray("(X9) X1 Y5") << 498
            << LineFault::None;
        QTest::newRow("set a value: an expression in the second letter is left alone")
            << ReplaceMode::SetValue << setY << QByteArray("X10 Y#2") << QByteArray("X10 Y#2") << 498
            << LineFault::Expression;

        ReplaceSettings then = whereXAbove5();
        then.thenFind = "g01";
        then.thenReplace = "G00";
        QTest::newRow("then replace, case ignored") << ReplaceMode::ReplaceText << then << QByteArray("G01 X9 g01")
                                                    << QByteArray("G00 X9 G00") << 498 << LineFault::None;
        then.thenMatchCase = true;
        QTest::newRow("then replace, match case") << ReplaceMode::ReplaceText << then << QByteArray("G01 X9 g01")
                                                  << QByteArray("G01 X9 G00") << 498 << LineFault::None;

        ReplaceSettings whole = whereXAbove5();
        QTest::newRow("whole line emptied") << ReplaceMode::WholeLine << whole << QByteArray("G01 X9")
                                            << QByteArray() << 498 << LineFault::None;
        whole.comparison = Comparison::NotEqual;
        whole.wholeLine = "M00";
        QTest::newRow("no letter, no change, even for < >") << ReplaceMode::WholeLine << whole << QByteArray("G01 Y9")
                                                             << QByteArray("G01 Y9") << 498 << LineFault::None;
        ReplaceSettings append = whereXAbove5();
        append.appendText = " F100.";
        QTest::newRow("append where the condition holds") << ReplaceMode::AppendLine << append << QByteArray("X6")
                                                          << QByteArray("X6 F100.") << 498 << LineFault::None;
        QTest::newRow("an expression in the condition's word is left alone")
            << ReplaceMode::AppendLine << append << QByteArray("X[#1+6]") << QByteArray("X[#1+6]") << 498
            << LineFault::Expression;
        QTest::newRow("a line that would outgrow its record stays")
            << ReplaceMode::AppendLine << append << QByteArray("X6") << QByteArray("X6") << 7 << LineFault::TooLong;
        QTest::newRow("just fits") << ReplaceMode::AppendLine << append << QByteArray("X6") << QByteArray("X6 F100.")
                                   << 8 << LineFault::None;
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
