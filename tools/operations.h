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

// One line of an Operations run (OperationsWork, prepared for one line). A line without a word of
// the letter is returned as it was. Otherwise the number of the letter's first word becomes the
// result of the operation on it, written with the output picture; the letter keeps its case, the
// old number's characters (spaces inside it included) are replaced and what follows it stays. A
// first word that holds an expression gives Expression and the line as it was.
LineResult rewriteLine(const OperationsSettings &settings, const QByteArray &line, const LineRules &rules);

} // namespace tools
