#pragma once

#include "linerewrite.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace tools {

// The arithmetic a tool applies to a value; the numbers are the window's selector values.
enum class Operation : std::uint8_t {
    Add = 1,
    Subtract = 2,
    Multiply = 3,
    Divide = 4,
};

// value + c, value - c, value * c or value / c.
double applyOperation(Operation operation, double value, double c);

// The text shown when a run would divide by 0.
QString divideByZeroText();

// The Operations window's own fields: one operation with one constant on one letter's values.
struct OperationsSettings
{
    Operation operation = Operation::Add; // Option1 .. Option4
    QString axis;                         // txtAxis: the address letter
    QString value;                        // txtValue: the constant, as typed
};

// The window's own checks before a run: nothing when the fields can run, else the text to show.
// Empty or blank fields and a constant that is not numeric give `textNull` (the TEXTNULL text);
// dividing by a constant of 0 gives `divideByZeroText()`.
std::optional<QString> checkFields(const OperationsSettings &settings, const QString &textNull);

// One line of an Operations run. A line without the letter (case ignored) is returned as it was.
// Otherwise the number after the letter's first occurrence becomes the result of the operation
// on it (a letter with no number counts as 0), written with the output picture; the letter keeps
// its case, and the old number's characters (spaces taken into it included) are replaced.
LineResult rewriteLine(const OperationsSettings &settings, const QByteArray &line, const LineRules &rules);

} // namespace tools
