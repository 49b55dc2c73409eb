#pragma once

#include "commentrule.h"

#include <QByteArray>
#include <QString>
#include <array>

// Finding an address word's value on a program line, and the comments around it. Lines are bytes
// (Latin-1); the letter and the comment delimiters are texts as the settings and fields hold them,
// and a character outside Latin-1 in them never matches anything on a line.
namespace functions {

// Latin-1 letters folded to lower case, so that "x" finds "X" and "é" finds "É"; one table for
// every lookup that ignores case.
const std::array<uchar, 256> &lowerCase();

// The number after an address letter on a line.
struct AxisValue
{
    double value = 0.0;  // the number after the letter; 0 when none
    double length = 0.0; // characters of the line the number occupies after the letter, spaces included
    double found = 0.0;  // 1 when the letter occurs on the line, else 0
};

// The letter a lookup uses: `axis` without leading and trailing spaces, cut to its first
// character (an empty or blank axis gives the empty text).
QString reducedAxis(const QString &axis);

// Where the first occurrence of `letter` (one character, case ignored) stands in `line`, or -1.
// An empty letter, or one outside Latin-1, is found nowhere.
qsizetype findLetter(const QString &letter, const QByteArray &line);

// Reads the number after the first occurrence of the letter `axis` in `line` (case ignored; the
// first occurrence counts wherever it stands, inside a word or a comment). `axis` is replaced by
// its reduced form. Number characters are the signs, the point and the digits, and the space when
// `spaces` is on. A letter followed by no number gives (0, 0, 1); an absent letter (0, 0, 0).
AxisValue findAxisValue(QString &axis, const QByteArray &line, bool spaces);

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

// `line` is replaced by `stripComments(line, rule)`, then the lookup is that of `findAxisValue`.
AxisValue findAxisValueNoComments(QString &axis, QByteArray &line, bool spaces, const tessarc::CommentRule &rule);
// The same with delimited comments only.
AxisValue findAxisValueNoComments(QString &axis, QByteArray &line, bool spaces, const QString &startComment,
                                  const QString &endComment);

} // namespace functions
