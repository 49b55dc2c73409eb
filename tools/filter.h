#pragma once

#include "linerewrite.h"
#include "wordscan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace tools {

// The Filter window's own fields.
struct FilterSettings
{
    QString axis;  // txtAxis: the address letter
    QString value; // txtValue: the tolerance, as typed
};

// The window's own checks before a run: nothing when the fields can run, else `textNull` (the
// TEXTNULL text) for an empty or blank letter or a tolerance that is empty or not numeric.
std::optional<QString> checkFields(const FilterSettings &settings, const QString &textNull);

// One line of a Filter run: a word of the letter whose value hardly differs from the last one
// kept is taken out of its line. The last kept value lives here from line to line.
//
// A line's word is the first word of the letter; a line without one is written back as it was and
// leaves the last kept value alone, and so is one whose first word of it holds an expression
// (Expression). The first word of the run is always kept and sets the last kept value. A later
// word goes when |v - last| <= |tolerance|, its value compared with its sign: the new line is the
// text before the letter followed by the text after its number (with spaces on, the spaces after
// the number go with it). Otherwise the word stays and its value becomes the last kept one. A word
// of a line that holds an arc's centre or radius (I, J, K or R) is part of the arc and stays: the
// line gives Arc where the word would have gone, and its value becomes the last kept one. A line
// never grows.
class FilterWork
{
public:
    FilterWork(const FilterSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out);

    // Whether a word has been kept yet, and the last value kept.
    bool anyKept() const { return m_anyKept; }
    double lastKept() const { return m_last; }

private:
    WordFinder m_letter;
    double m_tolerance = 0.0;
    bool m_spaces = true;
    bool m_anyKept = false;
    double m_last = 0.0;
};

} // namespace tools
