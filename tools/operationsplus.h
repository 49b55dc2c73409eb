#pragma once

#include "linerewrite.h"
#include "operations.h"
#include "wordscan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

namespace tools {

// How the condition letter's value is compared with the condition value.
enum class Comparison : std::uint8_t {
    Greater = 1,  // g: ">"
    Less = 2,     // l: "<"
    Equal = 3,    // e: "=" (the two numbers exactly equal)
    NotEqual = 4, // n: "< >"
};

// The Operations Plus window's own fields: where letter A compares with a value, apply an
// operation with a value to letter B; and optionally change that value after each line.
struct OperationsPlusSettings
{
    QString conditionAxis;                       // Text1: letter A
    Comparison comparison = Comparison::Greater; // g, l, e, n
    QString conditionValue;                      // Text2: the value A is compared with
    bool realPosition = true;                    // rp; false: cp (a line without A counts as 0)
    Operation operation = Operation::Add;        // Option1 .. Option4
    QString value;                               // txtValue: the operation value, as typed
    QString axis;                                // txtAxis: letter B
    bool stepOnReplacement = false;              // Check1: "Every Time A Replacement Is Made"
    bool stepOnLine = false;                     // Check2: "Every Time A Line Is Searched"
    Operation stepOperation = Operation::Add;    // inc1 .. inc4
    QString step;                                // inc: the step value, as typed
};

// The window's own checks before a run: nothing when the fields can run, else the text to show.
// Letters A and B and the operation value must be filled in, the operation value and the
// condition value numeric, and the step value numeric when a step box is ticked: else `textNull`
// (the TEXTNULL text). Dividing by an operation value of 0, or stepping by dividing by 0, gives
// `divideByZeroText()`.
std::optional<QString> checkFields(const OperationsPlusSettings &settings, const QString &textNull);

// The plain text form of a number as a stepped operation value is written: at most 15 significant
// digits, no trailing zeros, "." as the point, an exponent below 1e-4 and from 1e15 on ("1e-05",
// "1e+15"). The empty text for a value that is not finite.
QString fifteenDigitText(double value);
// The value that text reads back as: `value` rounded to 15 significant digits, halves of the last
// digit to even, as a double.
double fifteenDigitValue(double value);

// One line of an Operations Plus run. The run's working values live here from line to line: the
// operation value, changed by the steps, and the last known position of letter A.
//
// A line without a word of letter B is written back as it was, and only the line step applies to
// it. A line whose first word of B or of A holds an expression cannot be computed: it is written
// back as it was, only the line step applies, and it gives Expression. On a line holding a word of
// B: A's first word is looked up (a line without one uses the last known position, or 0 with
// `cp`; otherwise A's value becomes the last known position);
// when the comparison holds, B's number becomes the operation on it with the current operation
// value, written as Operations writes it. Then the steps: the replacement step on every line
// holding B (whether or not the comparison held), then the line step on every line.
//
// A step gives the value its plain text form of 15 digits reads back as (fifteenDigitValue), as
// if it were written into txtValue and read from there, so that adding 0.1 ten thousand times
// from 0 gives exactly 1000.
//
// A fault leaves `out` holding the line as it was and changes none of the working values: TooLong
// when B's new number makes the line too long, DivideByZero when it would be divided by an
// operation value that a step brought to 0, NotFinite when B's new value or a stepped value is
// not a finite number.
class OperationsPlusWork
{
public:
    OperationsPlusWork(const OperationsPlusSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out);

    // The operation value as txtValue and Label11 show it: as typed until a step changes it, then
    // the text of the last step.
    QString value() const;
    // The operation value as a number.
    double number() const { return m_number; }
    // The last known position of letter A.
    double lastPosition() const { return m_last; }

private:

    OperationsPlusSettings m_settings;
    LineRules m_rules;
    NumberWriter m_writer;
    WordFinder m_target;
    WordFinder m_condition;
    double m_threshold = 0.0;
    double m_stepBy = 0.0;
    double m_number = 0.0;
    double m_last = 0.0;
    bool m_stepped = false; // false: the value is still the text as typed
};

} // namespace tools
