#pragma once

#include "commentrule.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

// What every value-rewriting tool needs besides its own fields, and what it gives back for a line.
namespace tools {

// The program-wide settings a line's rewrite depends on.
struct LineRules
{
    bool spaces = true;                                // NUMBERS / SPACES: spaces may stand inside a number
    QString outputFormat = QStringLiteral("0.####");   // FORMATS / OUTPUTFORMAT: the picture of every value written
    qsizetype maxLength = 498;                         // the most bytes a line holds: the record length less its count
    tessarc::CommentRule comments{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")}; // COMMENTS: no word stands inside one
};

// What a line's work says of a line besides its new text. TooLong and NotFinite stop the run at the
// line; the others leave the line as it was and the run goes on, counting it for the run's note.
enum class LineFault {
    None,
    TooLong,     // the new line would not fit in a record
    NotFinite,   // the new value is too large for a number (or not a number at all)
    Expression,  // the tool's word holds an expression or a parameter, not a number: left alone
    Arc,         // the word would go, but the line is an arc's and its end point is part of its shape
    DivideByZero, // the value to divide by has stepped to 0
};
constexpr std::size_t kLineFaultCount = 6;

// Whether the fault ends the run at its line (else the line is only left alone and counted).
constexpr bool stopsRun(LineFault fault)
{
    return fault == LineFault::TooLong || fault == LineFault::NotFinite || fault == LineFault::DivideByZero;
}

// One line after a tool's work. When `fault` is set, `line` is the line as it was: nothing is
// changed and the caller decides (and names the line in its message).
struct LineResult
{
    QByteArray line;
    LineFault fault = LineFault::None;
    bool ok() const { return fault == LineFault::None; }
};

// A sentence for a fault, for a message that the caller completes with the line's number.
QString lineFaultText(LineFault fault);

// The line with the number after its letter at `letterAt` replaced: everything up to and including
// the letter, then `number`, then what follows the old number's `length` characters.
QByteArray replaceNumber(const QByteArray &line, qsizetype letterAt, qsizetype length, const QByteArray &number);

// `value` written with the output picture, ready to stand in a line; empty when it is not finite.
QByteArray renderValue(double value, const LineRules &rules);

// The result for a rewritten line: a fault when it is longer than `rules.maxLength`.
LineResult finishLine(const QByteArray &original, QByteArray rewritten, const LineRules &rules);

} // namespace tools
