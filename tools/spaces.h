#pragma once

#include "linerewrite.h"

#include <QByteArray>
#include <QByteArrayView>

namespace tools {

// The Space window's own field.
struct SpaceSettings
{
    bool add = true; // add: "Add Spaces"; false: remove, "Remove Spaces"
};

// One line of a Space run; every line of the range is written back.
//
// Adding: a space goes in front of every address word that has none, so packed lines read again. A
// word starts at a letter A to Z (either case) followed directly by a digit; it gets a space unless
// the byte before it is one. A word at the very start of the line gets one too, and so a leading
// space. A letter followed by a sign or a point («X-1.», «X.5») starts no word; letters inside
// comments count like any other. A line that would grow longer than a record holds gives TooLong,
// with `out` holding the line as it was.
// Removing: every space (byte 32) goes, comments included.
class SpaceWork
{
public:
    SpaceWork(const SpaceSettings &settings, const LineRules &rules);
    LineFault operator()(QByteArrayView line, QByteArray &out) const;

private:
    SpaceSettings m_settings;
    qsizetype m_maxLength;
};

} // namespace tools
