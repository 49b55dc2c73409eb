#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Macro files: a macro is a named list of recorded tool steps, one file per macro in the program
// folder's "macro" directory, named after the macro + ".macro.qen". The file holds the steps back
// to back and nothing else; each step is three strings (step name, comment, settings text), each a
// 16-bit little-endian byte count followed by that many bytes (Latin-1). An empty file is a macro
// with no steps. Files are always replaced whole, through a temporary file renamed over the old one.
namespace macro {

// One recorded step.
struct MacroStep
{
    QString stepType;     // the tool's step name, "Operations" ... "Space"
    QString comment;      // typed by the machinist when the step was added
    QString stepSettings; // the tool's field values, each followed by the step field separator
    bool operator==(const MacroStep &) const = default;
};

// The bytes of a macro file holding `steps`, or the reason it cannot hold them: a string longer
// than 65535 bytes, or a character outside Latin-1.
std::optional<QString> encodeMacro(const QList<MacroStep> &steps, QByteArray &bytes);

struct DecodedMacro
{
    QList<MacroStep> steps; // when damaged: the whole steps before the damage
    QString error;          // empty when the file was read whole
    bool ok() const { return error.isEmpty(); }
};

// The steps of a macro file's bytes. A count running past the end of the bytes makes the file
// damaged; the message names the step.
DecodedMacro decodeMacro(QByteArrayView bytes);

// ".macro.qen"
QString macroExtension();
// The "macro" directory of the program folder.
QString macroFolder();
// The file of the macro `name` in `folder`.
QString macroPath(const QString &folder, const QString &name);
// The macros in `folder`: the names of its "*.macro.qen" files without that ending, in name order
// (letter case ignored). A missing folder holds none.
QStringList macroNames(const QString &folder);

// Why `name` cannot name a macro, or nothing: it is empty, or holds a path separator or a
// character a file name cannot hold.
std::optional<QString> macroNameRefused(const QString &name);

// Reads the macro file at `path`; a missing, unreadable or damaged file gives a message.
DecodedMacro readMacro(const QString &path);
// Replaces the file at `path` with `steps` (none: an empty file), creating the folder when needed.
// The message when that fails; the old file is then untouched.
std::optional<QString> writeMacro(const QString &path, const QList<MacroStep> &steps);
// Copies the macro file `from` over `to`, the same safe way; refused when both are one file.
std::optional<QString> copyMacro(const QString &from, const QString &to);

} // namespace macro
