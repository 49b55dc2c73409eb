#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "controlerror.h"
#include "lineposition.h"

namespace tessarc {

class RecordJournal;

// The random-access file of fixed records that holds a program's lines. Record k (from 1) is
// line k: a 16-bit little-endian character count followed by that many bytes; the rest of the
// record is zero. A line therefore holds at most recordLength - 2 bytes. The number of lines is not
// in the file: records past the end read as empty lines.
//
// Writes of consecutive records are gathered into large blocks, so filling a store line by line
// costs about what writing the file in one stream does. Every failure throws ControlError.
class TESSARC_EXPORT LineStore
{
public:
    LineStore() = default;
    ~LineStore();
    LineStore(const LineStore &) = delete;
    LineStore &operator=(const LineStore &) = delete;

    // The record lengths the record format holds: the count and at least one byte, and at most
    // the count and the 65535 bytes it can give.
    static constexpr int kShortestRecord = 3;
    static constexpr int kLongestRecord = 65535 + 2;
    // Why a record length cannot be used (a whole sentence), or the empty text when it fits the
    // record format. Every record length read from outside is checked with this.
    static QString recordLengthProblem(qint64 recordLength);

    // Opens `path` for reading and writing records of `recordLength` bytes; a missing file is
    // created unless `create` is false, when it is a file-not-found error. A record length outside
    // kShortestRecord ... kLongestRecord is a BadRecordLength error.
    void open(const QString &path, int recordLength, bool create = true);
    // Writes out what is gathered and closes the file. Safe to call twice.
    void close();
    bool isOpen() const { return m_fd >= 0; }

    int recordLength() const { return m_recLen; }
    const QString &path() const { return m_path; }
    // The most bytes a line may hold.
    int maxLineLength() const { return m_recLen - 2; }
    // Number of whole records the file holds now.
    qint64 recordCount();

    QByteArray read(LineNumber record);
    // Records first ... first + count - 1 in one read; records past the end of the file are empty.
    QList<QByteArray> readRange(LineNumber first, qint64 count);
    void write(LineNumber record, QByteArrayView line);
    // Writes out the gathered records.
    void flush();

    // Hands records first ... first + count - 1 to `visit(record, text)` in order, reading large
    // blocks; `text` is valid only during the call. Records past the end of the file are empty.
    void forEachRecord(LineNumber first, qint64 count, const std::function<void(LineNumber, QByteArrayView)> &visit);

    // Rewrites records first ... first + count - 1 where they stand, a block at a time:
    // `rewrite(record, text, out)` puts the record's new text in `out` (emptied before each call;
    // `text` is valid only during the call), or returns false to stop there. What was rewritten
    // before the stop is written; the record it stopped at and those after it are left as they were.
    // A damaged record, or a new text too long for a record, throws once what came before it is
    // written. With a journal, the old text of every record that changes is kept there, and on disk
    // before its block is written; what it kept of a block that is not written is taken out of it
    // again.
    using RecordRewrite = std::function<bool(LineNumber, QByteArrayView, QByteArray &)>;
    // The records are read, rewritten and written `blockBytes` at a time.
    void rewriteRecords(LineNumber first, qint64 count, const RecordRewrite &rewrite, RecordJournal *journal = nullptr,
                        qint64 blockBytes = qint64(4) << 20);

    // As rewriteRecords, but each record's text is changed where it lies: `edit(record, text,
    // length)` gets the record's `length` bytes at `text`, in room for maxLineLength() bytes that
    // it never writes past, and changes them and `length`, or returns false, the record as it was,
    // to stop there. The edit keeps what it changes in `journal` itself; the store flushes the
    // journal before each block is written and takes back what it kept of a block whose edit throws.
    using RecordEdit = std::function<bool(LineNumber, char *text, qsizetype &length)>;
    void editRecords(LineNumber first, qint64 count, const RecordEdit &edit, RecordJournal *journal);

    // Whether a rewrite of many blocks writes each block on a thread of its own while it works on
    // the next (the bytes written and their order are the same), for every store of the process.
    // On where the processor has more than one core.
    static void setWritesBehind(bool on);
    static bool writesBehind();

    // Moves `count` records from record `first` to record `to` inside this store (the ranges may
    // overlap), the way memmove does. Records left behind keep their old text.
    void moveRecords(LineNumber first, qint64 count, LineNumber to);
    // Makes sure the file has room for `records` records, so writes up to there cannot fail for
    // want of space. A disk too full is reported before anything is changed.
    void reserve(qint64 records);
    // Cuts the file to `records` records.
    void truncate(qint64 records);

    // Copies `count` records from record `first` of `from` to record `firstTo` of `to` as large
    // block copies (by the kernel where it can). The two stores must have the same record length.
    static void copyRecords(LineStore &from, LineNumber first, qint64 count, LineStore &to, LineNumber firstTo);

    // The error for a line that cannot be stored.
    static ControlError lineTooLong(qint64 lineLength, int recordLength);

private:
    void requireOpen() const;
    qint64 offsetOf(LineNumber record) const;
    QByteArray decode(const char *rec, LineNumber record) const;
    ControlError badRecord(const char *rec, LineNumber record) const;
    // One block of rewriteRecords, `records` records from `first` at `data`: how many were
    // rewritten. A record that cannot be (damaged, or its new text too long) ends the block at it,
    // with `failure` saying why.
    qint64 rewriteBlock(char *data, LineNumber first, qint64 records, const RecordRewrite &rewrite, RecordJournal *journal,
                        QByteArray &out, std::optional<ControlError> &failure) const;
    qint64 editBlock(char *data, LineNumber first, qint64 records, const RecordEdit &edit,
                     std::optional<ControlError> &failure) const;
    // Reads records first ... first + count - 1 a block at a time, hands each block to `work`
    // (which says how many of its records to write, setting `failure` when it ends the block
    // early for a damaged record), and writes those, the journal flushed before.
    using BlockWork = std::function<qint64(char *data, LineNumber first, qint64 records, std::optional<ControlError> &failure)>;
    void workBlocks(LineNumber first, qint64 count, qint64 blockBytes, RecordJournal *journal, const BlockWork &work);

    int m_fd = -1;
    int m_recLen = 0;
    QString m_path;
    // Records gathered for writing: they start at record m_pendingFirst.
    QByteArray m_pending;
    LineNumber m_pendingFirst;
    qint64 m_pendingCount = 0;
    // How much of each slot of the gathering buffer the last record there used: the rest of a slot
    // is zero, so a new record clears only what the old one left behind.
    std::vector<int> m_slotUsed;
};


} // namespace tessarc
