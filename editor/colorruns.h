#pragma once

#include "commentrule.h"
#include "tessarc_export.h"

#include <QColor>
#include <QList>
#include <QString>
#include <array>

namespace tessarc {

// One colour slot: the letters it colours (spaces removed) and its colour, a 24-bit integer with
// red in the low byte. Slots 0 to 6 colour words; only the colour of slot 7 is used, for comments.
struct ColorSlot
{
    QString letters;
    int color = 0;
};
using ColorSlots = std::array<ColorSlot, 8>;

// A run of characters of one line in one colour.
struct ColorRun
{
    qsizetype start = 0;
    qsizetype length = 0;
    int color = 0;
    bool operator==(const ColorRun &o) const = default;
};

// The runs that colour one line, in the order they are laid on: the words of the slots 0 to 6
// letters (read with spaces allowed in a number; a letter named by several slots takes the last
// one's colour), in order along the line, then the comments of `rule`. A later run wins where two
// cover the same characters, so nothing inside a comment keeps a word's colour.
TESSARC_EXPORT QList<ColorRun> colorRuns(const QString &line, const ColorSlots &slotTable, const CommentRule &rule);
// The same with delimited comments only.
TESSARC_EXPORT QList<ColorRun> colorRuns(const QString &line, const ColorSlots &slotTable, const QString &startComment,
                                         const QString &endComment);

// The comment runs of one line alone, as the view colours them (CommentScanner's AsColoured
// reading): with equal delimiters each delimiter is coloured by itself, and of an end delimiter of
// several characters only the first is coloured. A line comment is coloured to the end of the line.
// A character outside Latin-1 on the line is never part of a delimiter.
TESSARC_EXPORT QList<ColorRun> commentRuns(const QString &line, int commentColor, const CommentRule &rule);
// The same with delimited comments only.
TESSARC_EXPORT QList<ColorRun> commentRuns(const QString &line, int commentColor, const QString &startComment,
                                           const QString &endComment);

// The same runs laid over each other: what each character ends up as, as non-overlapping runs in
// order of position. Characters no run covers are left out (they take the default colour).
TESSARC_EXPORT QList<ColorRun> flattenRuns(const QList<ColorRun> &runs, qsizetype lineLength);

// A slot colour as a QColor.
TESSARC_EXPORT QColor toQColor(int rgb);

} // namespace tessarc
