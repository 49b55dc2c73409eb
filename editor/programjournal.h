#pragma once

#include "tessarc_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace tessarc {

// What a line store holds, kept in a small file beside it and rewritten whole whenever that
// changes, so that after the program or the machine stopped the changes can be found again: the
// program's file, its line count, the record length, the line-end rule, whether it changed since
// it was loaded or saved (and when), and which running instance owns it.
struct TESSARC_EXPORT ProgramJournal
{
    QString program;
    qint64 lines = 0;
    int recordLength = 0;
    bool lfEndsLine = true;
    bool changed = false;
    QDateTime changedAt;
    qint64 instance = 0; // the process that owns the store

    QByteArray encode() const;
    // Nothing, with the reason in `problem`, when the bytes are not a whole journal.
    static std::optional<ProgramJournal> decode(const QByteArray &bytes, QString *problem = nullptr);

    // The journal beside a store ("0.qen.tmp" keeps it in "0.qen.journal").
    static QString pathFor(const QString &store);
    // Written to a file beside it, made durable, and renamed into place; throws ControlError.
    void write(const QString &path) const;
    static std::optional<ProgramJournal> read(const QString &path, QString *problem = nullptr);
};

} // namespace tessarc
