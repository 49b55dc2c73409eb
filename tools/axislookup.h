#pragma once

#include "commentrule.h"

#include <QByteArray>
#include <QString>
#include <array>

// The letter a tool's field names, and a line's comments taken out. Lines are bytes (Latin-1); the
// comment delimiters are texts as the settings hold them, and a character outside Latin-1 in them
// never matches anything on a line. Words are read by tessarc::WordReader.
namespace functions {

// Latin-1 letters folded to lower case, so that "x" finds "X" and "é" finds "É"; one table for
// every lookup that ignores case.
const std::array<uchar, 256> &lowerCase();

// The letter a lookup uses: `axis` without leading and trailing spaces, cut to its first
// character (an empty or blank axis gives the empty text).
QString reducedAxis(const QString &axis);

// The comments of a line removed under `rule` (tessarc::CommentScanner, Whole reading): what lies
// either side of a comment stays, spaces included. Delimiters match exactly (case matters). With
// the end delimiter empty a delimited comment runs to the end of the line; a comment with no end
// delimiter after it does too; an end delimiter with no comment open is ordinary text. A line
// comment runs to the end of the line unless it stands inside a delimited comment. The line is
// read once from left to right, so text left either side of a removed comment never joins up into
// a new delimiter.
QByteArray stripComments(const QByteArray &line, const tessarc::CommentRule &rule);
// The same with delimited comments only.
QByteArray stripComments(const QByteArray &line, const QString &startComment, const QString &endComment);

} // namespace functions
