#pragma once

#include "linerewrite.h"
#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

namespace tools {

// The Space window's own field.
struct SpaceSettings
{
    bool add = true; // add: "Add Spaces"; false: remove, "Remove Spaces"
};

// One line of a Space run; every line of the range is written back.
//
// Adding: a space goes in front of every word that has none (a space or a tab before it), so
// packed lines read again, and never in front of the line's first word. The words are the word
// reader's (signs and points belong to the number: « », «X.5»), and a letter that stands
// before an expression or a parameter («X[#1*2]», «Z#3») counts as one; nothing is added inside
// a comment, a parameter name or an expression. A line that would grow longer than a record holds
// gives TooLong, with `out` holding the line as it was.
// Removing: every space (byte 32) of the code goes; comments, parameter names and expressions keep
// theirs.
class SpaceWork
{
public:
    SpaceWork(const SpaceSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    SpaceSettings m_settings;
    qsizetype m_maxLength;
    tessarc::WordReader m_reader;
    // Kept from line to line so that no line allocates them again.
    mutable std::vector<qsizetype> m_starts;
    mutable QList<tessarc::SkipSpan> m_spans;
};

} // namespace tools
