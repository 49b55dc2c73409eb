#pragma once

#include "linerange.h"
#include "stepfields.h"
#include "tool.h"
#include "linerewrite.h"
#include "numberwriter.h"
#include "textmatch.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Replace: five actions over a range of lines, each a per-line rewrite for the line-range frame. A
// window gathers its fields into ReplaceSettings, checks them for the pressed button's mode, and
// hands the frame a ReplaceWork; when recording, it records replaceStep() instead.
namespace search {

// The five buttons, numbered as a recorded step names them.
enum class ReplaceMode {
    Text = 1,        // Go: find txtFind, then the text action
    SetValue = 2,    // go2: where the condition holds, set the value of a second letter
    ReplaceText = 3, // go3: where the condition holds, replace Text1 by Text2
    WholeLine = 4,   // go4: where the condition holds, the line becomes txtReplaceLine
    AppendLine = 5,  // go5: where the condition holds, append txtAppendLine
};

// What the text action (mode 1) does to a matching line: the option buttons r1, r2, r3.
enum class TextAction { ReplaceFound, ReplaceWholeLine, AppendToLine };

// The Replace window's own fields as the machinist left them.
struct ReplaceSettings
{
    QString find;                               // txtFind
    QString replacement;                        // txtReplace
    TextAction action = TextAction::ReplaceFound; // r1, r2, r3
    bool matchCase = false;                     // case1
    QString axis;                               // txtAxis: the condition's letter
    Comparison comparison = Comparison::Greater; // g, l, e, n
    QString value;                              // txtValue: the condition's number
    QString replaceAxis;                        // txtReplaceAxis: the second letter (mode 2)
    QString replaceValue;                       // txtReplaceValue: its new value (mode 2)
    QString thenFind;                           // Text1 (mode 3)
    QString thenReplace;                        // Text2 (mode 3)
    bool thenMatchCase = false;                 // case2 (mode 3)
    QString wholeLine;                          // txtReplaceLine (mode 4)
    QString appendText;                         // txtAppendLine (mode 5)
};

// The checks of a mode's own fields before a run: nothing when they can run, else the text to show.
// `textNull` (the TEXTNULL text) for: an empty txtFind (mode 1); a blank txtAxis or a txtValue that
// is not numeric (modes 2 to 5); a blank txtReplaceAxis or a txtReplaceValue that is not numeric
// (mode 2). A text the mode would write into lines that holds a character no line can hold is
// refused with its own message.
std::optional<QString> checkReplaceFields(const ReplaceSettings &settings, ReplaceMode mode, const QString &textNull);

// The settings text of a recorded "Replace" step: txtFind, txtReplace, r1, r2, r3, case1, ALL,
// LINE2LINE, StartLine, EndLine, txtAxis, g, l, e, n, txtValue, txtReplaceAxis, txtReplaceValue,
// Text1, Text2, case2, txtReplaceLine, txtAppendLine, each followed by `separator`, then the mode
// digit (with no separator after it).
QString replaceStep(const ReplaceSettings &settings, const tools::RangeFields &range, ReplaceMode mode,
                    const QString &separator);

// Replace with its settings and the mode of the button that runs it.
class ReplaceTool : public tools::Tool
{
public:
    // The step's form; its mode is the button it presses (1 to 5).
    static std::unique_ptr<tools::Tool> fromStep(const tools::StepForm &form);
    ReplaceSettings settings;
    ReplaceMode mode = ReplaceMode::Text;
    QString stepName() const override { return QStringLiteral("Replace"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const tools::RunPlace &place) const override;
    QString run(tools::ToolRun &run, const tools::LineRange &range) override;
};

// The letter of an axis field as the window keeps it: every letter that has a capital within Latin-1
// turned to it.
QString axisCapitals(QString letters);

// One line of a Replace run, prepared once for the whole run; it allocates nothing per line.
//  - Mode 1: a line holding txtFind (exactly with Match Case, else case ignored) has every
//    occurrence replaced by txtReplace (r1; only occurrences of the case matched, with Match
//    Case), becomes txtReplace (r2), or has txtReplace appended (r3).
//  - Modes 2 to 5 work on the lines where the axis condition holds (see AxisCondition); a line
//    whose condition word holds an expression is left as it was with the fault Expression.
//    Mode 2: the number of the second letter's first word becomes txtReplaceValue, written with
//    the output picture; a line without a word of that letter is left as it is, one where it holds
//    an expression gives Expression. Mode 3: every
//    occurrence of Text1 is replaced by Text2 (case as case2 says). Mode 4: the line becomes
//    txtReplaceLine. Mode 5: txtAppendLine is appended.
// Texts are the fields' bytes (see fieldBytes). A line that would outgrow `rules.maxLength` is left
// as it was with the fault TooLong; a value too large to write, NotFinite.
class ReplaceWork
{
public:
    // The settings must have passed checkReplaceFields for `mode`.
    ReplaceWork(const ReplaceSettings &settings, ReplaceMode mode, const tools::LineRules &rules);

    // Writes the new line into `out` (emptied first); a fault leaves `out` holding the line as it was.
    tools::LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    ReplaceMode m_mode;
    TextAction m_action;
    qsizetype m_maxLength;
    tessarc::WordReader m_words;
    tools::NumberWriter m_writer;
    TextMatcher m_find;      // txtFind (mode 1) or Text1 (mode 3)
    QByteArray m_text;       // what mode 1, 3, 4 or 5 writes
    AxisCondition m_condition;
    char m_replaceLetter = 0; // mode 2: the second letter, upper case; 0 matches nothing
    double m_value = 0.0;     // mode 2: the new value
};

} // namespace search
