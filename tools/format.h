#pragma once

#include "linerewrite.h"
#include "wordscan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace tools {

// The Format window's own field.
struct FormatSettings
{
    QString axis; // txtAxis: "Format What Axis:"
};

// The window's own check before a run: nothing when the letter is filled in, else `textNull` (the
// TEXTNULL text).
std::optional<QString> checkFields(const FormatSettings &settings, const QString &textNull);

// One line of a Format run: the number of the letter's first word written again with the output
// picture, exactly as Operations writes a result. A line without a word of the letter is written
// back as it was; one whose first word of it holds an expression gives Expression and stays. A line that would
// grow longer than a record holds gives TooLong, a number too large for a double NotFinite; `out`
// then holds the line as it was.
class FormatWork
{
public:
    FormatWork(const FormatSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    WordFinder m_letter;
    LineRules m_rules;
    NumberWriter m_writer;
};

} // namespace tools
