#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tessarc {

// The line ends a file holds, counted by kind, and whether its last line has one.
struct TESSARC_EXPORT LineEnds
{
    qint64 crlf = 0;
    qint64 cr = 0;
    qint64 lf = 0;
    bool lastEnded = true;
    // The end every line has, when all that have one end alike ("\r\n", "\r" or "\n"), else
    // nothing (mixed ends, or none at all).
    QByteArray uniform() const;
};

// Reads a program text file line by line in large blocks, never holding more than one block and
// one line. A line ends at CR, at CR LF, and, when `lfEndsLine` is set, at a lone LF; the ends
// are not part of the line. A last line without an end counts; an empty file has no lines.
class TESSARC_EXPORT LineReader
{
public:
    // `keepAtMost`: how many bytes of a line are kept for the caller; longer lines are cut to that
    // but their full length is still reported. 0 keeps nothing (counting lines).
    LineReader(const QString &path, bool lfEndsLine, qsizetype keepAtMost);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // The next line, or false at the end of the file. `line` stays valid until the next call.
    bool next(QByteArrayView &line, qint64 &fullLength);

    // Bytes read from the file so far.
    qint64 bytesRead() const { return m_bytesRead; }

    // The number of lines of a file, and (when `ends` is given) the ends they have.
    static qint64 countLines(const QString &path, bool lfEndsLine, LineEnds *ends = nullptr);

private:
    bool fill();
    qsizetype findLineEnd(const char *data, qsizetype from, qsizetype end) const;

    int m_fd = -1;
    QString m_path;
    bool m_lfEndsLine;
    qsizetype m_keep;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_skipLf = false; // the last block ended in CR: a LF first in the next one belongs to it
    QByteArray m_carry;    // a line that crosses a block boundary
    qint64 m_bytesRead = 0;
};

} // namespace tessarc
