#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace tessarc {

// What a line store holds, kept in a small file beside it and rewritten whole whenever that
// changes, so that after the program or the machine stopped the changes can be found again: the
// program's file, its line count, the record length, the line-end rule, whether it changed since
// it was loaded or saved (and when), which running instance owns it, and how its file ended lines.
struct TESSARC_EXPORT ProgramJournal
{
    QString program;
    qint64 lines = 0;
    int recordLength = 0;
    bool lfEndsLine = true;
    bool changed = false;
    QDateTime changedAt;
    qint64 instance = 0; // the process that owns the store
    // How the program's file ended its lines, so that a recovered program saves as it would have:
    // the end (CR LF, LF or CR) and whether its last line had one. A journal written before they
    // were kept reads as CR LF, the last line ended.
    QByteArray lineEnd = "\r\n";
    bool lastEnded = true;

    QByteArray encode() const;
    // Nothing, with the reason in `problem`, when the bytes are not a whole journal.
    static std::optional<ProgramJournal> decode(const QByteArray &bytes, QString *problem = nullptr);

    // The journal beside a store ("0.qen.tmp" keeps it in "0.qen.journal").
    static QString pathFor(const QString &store);
    // Written to a file beside it, made durable, and renamed into place; throws ControlError.
    void write(const QString &path) const;
    static std::optional<ProgramJournal> read(const QString &path, QString *problem = nullptr);
};

// Flushes a store to disk and then writes its journal, on a thread of its own: flushing a store
// of a gigabyte takes seconds, and the machinist waits for none of it. Only the last journal
// posted is written; the journal says what the store holds only once the store's records are on
// the disk.
class TESSARC_EXPORT JournalWriter
{
public:
    JournalWriter();
    // Waits for a journal still to be written; a flush whose journal was dropped is left to end
    // on its own, so closing never waits for a store that is being deleted anyway.
    ~JournalWriter();
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    void post(const QString &store, const ProgramJournal &journal);
    // Forgets what was posted: no journal posted before is written after this returns.
    void drop();
    // Waits until what was posted is written.
    void finish();

private:
    struct State;
    static void run(const std::shared_ptr<State> &state);

    std::shared_ptr<State> m_state; // shared with the thread, which may outlive the writer
};

} // namespace tessarc
