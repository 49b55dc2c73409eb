#pragma once

#include "commentrule.h"
#include "linerewrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tools {

// The comments that are commands of the control (operator messages, logging, probe files): a
// delimited comment whose text, after its opening text and any spaces, begins with one of the
// list's entries, letter case ignored. The list is written as its entries separated by spaces,
// each entry with the punctuation that ends the command's name ("MSG," or "LOGCLOSE)").
class CommentCommands
{
public:
    CommentCommands() = default;
    explicit CommentCommands(const QString &list);

    bool isEmpty() const { return m_entries.isEmpty(); }
    // Whether the comment `comment` (its opening text included, `openLength` bytes of it) is one.
    bool holds(QByteArrayView comment, qsizetype openLength) const;

private:
    QList<QByteArray> m_entries; // upper case
};

// One line of a Remove Comments run: every comment of the program's comment rule taken out, the
// text around it left as it was, spaces included, except the comments that are commands of the
// control, which stay where they are. A line that held nothing but comments becomes empty and
// stays in the program. Every line of the range is written back; a line never grows.
class RemoveCommentsWork
{
public:
    explicit RemoveCommentsWork(const tessarc::CommentRule &rule, const CommentCommands &commands = {});
    LineFault operator()(QByteArrayView line, QByteArray &out) const;
    // The command comments kept so far.
    qint64 kept() const { return m_kept; }

private:
    mutable qint64 m_kept = 0;
    tessarc::CommentScanner m_scanner;
    CommentCommands m_commands;
    QByteArray m_open; // the delimited comment's opening text
};

} // namespace tools
