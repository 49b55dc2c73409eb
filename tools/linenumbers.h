#pragma once

#include "linerange.h"
#include "linerewrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace tools {

// The Add / Remove N window's own fields.
struct LineNumberSettings
{
    bool add = true;                           // add: "&Add N"; false: remove, "&Remove N"
    bool realLineNumbers = true;               // Option1: "Renumber Using Real Line Number";
                                               // false: Option2, "Renumber Starting At:"
    QString startNumber = QStringLiteral("1"); // txtStartNumber
    QString increment = QStringLiteral("1");   // txtInc
    bool spaceAfter = true;                    // Check1: "Insert Space After N"
    bool removeExisting = true;                // Check2: "Remove any already existing N"
};

// The largest line number written: numbers have at most 15 digits, so that each is exactly the
// number the machinist asked for.
constexpr qint64 kLargestLineNumber = 999'999'999'999'999;

// The window's own checks, made once the range has passed its own: nothing when the fields can
// run, else `textNull` (the TEXTNULL text). Adding with Option2 needs a numeric start and a numeric
// increment not below 0; and whichever numbering is chosen, the first and the last number of the
// range must lie within kLargestLineNumber either side of 0.
std::optional<QString> checkFields(const LineNumberSettings &settings, const LineRange &range,
                                   const QString &textNull);

// The first number written and the step from line to line, as a run reads them from the fields:
// the first line of the range and 1 with Option1; the whole-number part of txtStartNumber and
// txtInc rounded to a whole number with Option2.
struct Numbering
{
    double first = 0.0;
    double increment = 0.0;
};
Numbering numbering(const LineNumberSettings &settings, const LineRange &range);

// One line of an Add / Remove N run. A line starts with N when its first byte is "N" or "n"; the
// leading N word taken off is that letter and the number characters after it (the spaces after the
// number too when `spaces` is on).
//
// Adding (every line of the range, empty and comment lines too): the leading N word is taken off
// when Check2 is ticked, then "N", the number in plain decimal and, with Check1, a space are put in
// front; the number then moves on by the increment. A line that would grow longer than a record
// holds gives TooLong, with `out` holding the line as it was and the number not moved on; a number
// past the range of a 64-bit counter (which the checks never let a run reach) gives NotFinite.
// Removing: a line that starts with N loses its leading N word; other lines stay as they were.
class LineNumberWork
{
public:
    LineNumberWork(const LineNumberSettings &settings, const LineRange &range, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out);

    // The number the next line receives.
    qint64 nextNumber() const { return m_number; }

private:
    // Where the line's text begins once a leading N word is taken off (0 when it has none).
    qsizetype afterLeadingN(QByteArrayView line) const;

    LineNumberSettings m_settings;
    LineRules m_rules;
    qint64 m_number = 0;
    qint64 m_increment = 1;
    bool m_exhausted = false;
};

} // namespace tools
