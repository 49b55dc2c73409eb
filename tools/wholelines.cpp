#include "wholelines.h"

#include "linereader.h"
#include "steptext.h"

#include <climits>

namespace tools {

namespace {

using tessarc::ControlError;
using tessarc::LineNumber;

// Records copied between two progress reports: about 16 MB of a store of 500-byte records.
constexpr qint64 kCopyChunk = 32768;

ControlError tooManyLines(qint64 total)
{
    return ControlError(ControlError::Overflow,
                        QStringLiteral("Overflow: %1 lines are more than a program can hold (%2)").arg(total).arg(INT_MAX));
}

// Adds lines first ... first + count - 1 of the program to the rebuild, a chunk at a time so the
// progress moves; `done` counts the records the new store holds.
void copyWithProgress(tessarc::ProgramRebuild &rebuild, qint64 first, qint64 count, qint64 total,
                      const tessarc::ProgressReport &progress)
{
    for (qint64 copied = 0; copied < count;) {
        const qint64 chunk = std::min(kCopyChunk, count - copied);
        rebuild.copyLines(LineNumber(first + copied), chunk);
        copied += chunk;
        if (progress)
            progress(rebuild.lineCount(), total);
    }
}

} // namespace

qint64 countInsertLines(const tessarc::Program &program, const QString &path)
{
    // Nothing of a line is kept: only its length is looked at.
    tessarc::LineReader reader(path, program.lfEndsLine, 0);
    QByteArrayView line;
    qint64 length = 0;
    qint64 count = 0;
    while (reader.next(line, length)) {
        ++count;
        if (length > program.maxLineLength())
            throw program.lineTooLong(LineNumber(count), length,
                                      QStringLiteral("Raise the record length to at least %1 before loading this file.")
                                          .arg(length + 2));
    }
    return count;
}

void insertFile(tessarc::Program &program, const QString &path, qint64 after, const tessarc::ProgressReport &progress)
{
    const qint64 before = program.lineCount();
    if (after < 0 || after > before)
        throw ControlError(ControlError::SubscriptOutOfRange,
                           QStringLiteral("There is no line %1 to insert after").arg(after));
    const qint64 inserted = countInsertLines(program, path);
    const qint64 total = before + inserted;
    if (total > INT_MAX)
        throw tooManyLines(total);

    tessarc::ProgramRebuild rebuild(program);
    copyWithProgress(rebuild, 1, after, total, progress);
    tessarc::LineReader reader(path, program.lfEndsLine, program.maxLineLength());
    QByteArrayView line;
    qint64 length = 0;
    qint64 read = 0;
    while (reader.next(line, length)) {
        // The file is read again: it may have changed since it was counted.
        if (++read > inserted || length > program.maxLineLength())
            throw ControlError(ControlError::DeviceIoError,
                               QStringLiteral("%1 changed while it was being inserted").arg(path));
        rebuild.appendLine(line);
        if (progress && read % 1024 == 0)
            progress(rebuild.lineCount(), total);
    }
    if (read != inserted)
        throw ControlError(ControlError::DeviceIoError, QStringLiteral("%1 changed while it was being inserted").arg(path));
    copyWithProgress(rebuild, after + 1, before - after, total, progress);
    rebuild.commit();
}

void removeLines(tessarc::Program &program, qint64 first, qint64 last, const tessarc::ProgressReport &progress)
{
    const qint64 before = program.lineCount();
    if (first < 1 || last < first || last > before)
        throw ControlError(ControlError::SubscriptOutOfRange,
                           QStringLiteral("Lines %1 to %2 are not lines of the program").arg(first).arg(last));
    const qint64 total = before - (last - first + 1);
    tessarc::ProgramRebuild rebuild(program);
    copyWithProgress(rebuild, 1, first - 1, total, progress);
    copyWithProgress(rebuild, last + 1, before - last, total, progress);
    rebuild.commit();
}

QString failureText(const tessarc::ControlError &error, const QString &outcome)
{
    QString text = error.description();
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return text + QLatin1Char(' ') + outcome;
}

QString insertFileStep(const QString &path, const QString &startLine, const QString &separator)
{
    return StepText(separator).text(path).text(startLine).result();
}

QString removeLinesStep(const QString &startLine, const QString &endLine, const QString &separator)
{
    return StepText(separator).text(startLine).text(endLine).result();
}

} // namespace tools
