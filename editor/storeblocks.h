#pragma once

#include "lineposition.h"
#include "tessarc_export.h"

#include <QByteArrayView>
#include <QString>

#include <vector>

// One pass over a range of the program's store, front to back, for the work that only reads it.
namespace tessarc {

class Program;

// The records of a range of a line store, read a block at a time into a buffer small enough to
// stay in the processor's cache while its lines are visited (a read of megabytes at once would
// not). Failures (a store that cannot be opened or read, a record whose count is too large) are
// thrown as tessarc::ControlError.
class TESSARC_EXPORT StoreBlocks
{
public:
    // Records first ... first + count - 1 of the program's store.
    StoreBlocks(const Program &program, LineNumber first, qint64 count);
    ~StoreBlocks();
    StoreBlocks(const StoreBlocks &) = delete;
    StoreBlocks &operator=(const StoreBlocks &) = delete;

    // Reads the next block; false once the range is done.
    bool next();
    // The block read last: its first line and how many lines it holds.
    LineNumber blockFirst() const { return m_blockFirst; }
    qint64 blockLines() const { return m_blockLines; }
    // Line i of the block (from 0). Records past the end of the file are empty lines.
    QByteArrayView line(qint64 i) const
    {
        if ((i + 1) * m_recLen > m_got)
            return {};
        const char *record = m_buffer.data() + i * m_recLen;
        const int n = static_cast<unsigned char>(record[0]) | (static_cast<unsigned char>(record[1]) << 8);
        if (n > m_recLen - 2)
            badRecord(i, n);
        return QByteArrayView(record + 2, n);
    }

private:
    [[noreturn]] void badRecord(qint64 i, int n) const;

    QString m_path;
    int m_fd = -1;
    int m_recLen;
    LineNumber m_next;
    qint64 m_left;
    std::vector<char> m_buffer;
    LineNumber m_blockFirst;
    qint64 m_blockLines = 0;
    qint64 m_got = 0;
};

} // namespace tessarc
