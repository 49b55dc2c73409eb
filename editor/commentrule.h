#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tessarc {

// How a program marks its comments: a delimited comment between a start and an end text, and a
// line comment that runs from its text to the end of the line. One rule for the whole program:
// the colouring and every tool that skips or removes comments read a line with it.
struct CommentRule
{
    QString startComment; // opens a delimited comment; empty: the program has none
    QString endComment;   // closes it; empty: a delimited comment runs to the end of the line
    QString lineComment;  // opens a comment to the end of the line; empty: none
};

// The bytes of one comment on a line: from the first byte of its opening text on.
struct CommentSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const CommentSpan &o) const = default;
};

// Finds the comments of a line under one rule, read once from left to right. The texts match
// exactly (case matters); a text holding a character outside Latin-1 matches nothing on a line.
// A comment that is opened and never closed runs to the end of the line, and so does a line
// comment, unless its text stands inside a delimited comment. An end text with no comment open is
// ordinary text. With the line comment empty the comments are those of the delimiters alone.
//
// Two readings of a delimited comment:
// - Whole: the end text is looked for after the start text, and the comment takes it whole. What
//   is left either side of a comment never joins up into a new delimiter. This is what a tool
//   skips or removes.
// - AsColoured: the end text is looked for from the start text itself, and the comment ends with
//   the end text's first character, where the next search begins. With equal delimiters each
//   delimiter is a comment by itself. This is what the view colours.
class TESSARC_EXPORT CommentScanner
{
public:
    enum class Reading { Whole, AsColoured };

    explicit CommentScanner(const CommentRule &rule, Reading reading = Reading::Whole);

    // Whether the rule can find any comment at all.
    bool any() const { return m_hasStart || m_hasLine; }

    // The first comment that begins at or after `from`, which then moves on to where the search
    // for the next one starts. False when there is none; `from` is then left as it was.
    bool next(QByteArrayView line, qsizetype &from, CommentSpan &span) const;

    // Every comment of the line, in order.
    QList<CommentSpan> spans(QByteArrayView line) const;

    // Appends the line with every comment taken out to `out` (Whole reading: what lies either
    // side of each comment is kept, spaces included).
    void appendStripped(QByteArrayView line, QByteArray &out) const;

private:
    Reading m_reading;
    QByteArray m_start;
    QByteArray m_end;
    QByteArray m_line;
    bool m_hasStart = false; // delimited comments exist
    bool m_endFound = false; // an end text can be found (it is neither empty nor outside Latin-1)
    bool m_hasLine = false;  // line comments exist
};

} // namespace tessarc
