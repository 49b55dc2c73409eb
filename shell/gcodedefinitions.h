#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// The G-code definitions file "g&mcode.txt": one definition a line, "G0 Rapid Travel", read field
// by field (a field ends at a comma or at the end of the line; leading spaces are skipped; a field
// that starts with a double quote runs to the next one, commas included, and the quotes are not
// part of it). Define Selected Text looks a code up in it; the definitions window lists, adds and
// removes definitions and writes the file back. Every write replaces the file whole through a
// temporary file, so a failure never leaves a half-written file.
namespace definitions {

// "g&mcode.txt"
QString fileName();
// The definitions file of the program folder.
QString definitionsPath();
// The file written when there is none: "G Rapid Travel", "G0 Rapid Travel", "G00 Rapid Travel" and
// "M6 Tool Change", each ended by CR LF.
QByteArray defaultContent();

// The fields of a definitions file, in file order. Lines end at CR LF, CR or LF; a blank field is
// no definition and is left out.
QStringList readFields(QByteArrayView bytes);
// The file holding `items` in order, one a line, each ended by CR LF, so that readFields gives
// them back: an item holding a comma (or starting with a space or a double quote) is written
// between double quotes; such an item's own double quotes, which the format cannot hold inside
// quotes, become apostrophes. A line break inside an item is written as " newline ".
QByteArray encode(const QStringList &items);

// A meaning as it is shown: every " newline " becomes a line break (CR LF).
QString shownDefinition(const QString &field);

// The definitions the window lists, kept sorted: letter case ignored, and two items that differ
// only in case in the order of their character codes (upper case first), so the order never
// depends on the order they came in.
class DefinitionList
{
public:
    explicit DefinitionList(QString path = definitionsPath());

    // Reads the file; when there is none, writes the default file first and created() is true.
    // The message when the file cannot be read or created, else nothing.
    std::optional<QString> load();
    bool created() const { return m_created; }

    const QStringList &items() const { return m_items; }
    // The code as the window takes it from its box: without surrounding spaces and commas, in capitals.
    static QString codeFor(const QString &typed);
    // The item the window adds for a code and a meaning typed in its boxes: the code without
    // surrounding spaces and commas, in capitals, a space, and the meaning without surrounding
    // spaces and commas. Nothing when either is left empty.
    static std::optional<QString> itemFor(const QString &code, const QString &meaning);
    // Puts `item` in its sorted place and gives its row.
    int add(const QString &item);
    // Removes row `row`; a row outside the list changes nothing.
    void remove(int row);
    // Writes every item, in list order, over the file. The message when that fails, else nothing.
    std::optional<QString> save() const;

private:
    QString m_path;
    QStringList m_items;
    bool m_created = false;
};

// The key Define Selected Text looks up for the editor's selection: the selection without leading
// and trailing spaces and without any CR or LF, with one space added ("g0" gives "g0 "). A single
// space means nothing was selected.
QString selectionKey(const QString &selected);

struct Lookup
{
    enum Status {
        NoFile,   // there is no definitions file: the window opens (and creates it) instead
        Found,    // `definition` is the first field that starts with the key, case ignored
        NotFound,
        Failed,   // the file could not be read: `error` says why
    };
    Status status = NotFound;
    QString definition;
    QString error;
};

// Looks `key` (see selectionKey) up in the file at `path`. Because the key ends with a space, "g0 "
// finds "G0 Rapid Travel" and not "G00 Rapid Travel".
Lookup lookup(const QString &path, const QString &key);

// The line the lookup's offer adds for `key` and the answer typed: the key in capitals (its space
// kept), a space, and the answer without commas.
QString lookupLine(const QString &key, const QString &answer);
// Adds `line` at the end of the file at `path`, rewriting the file whole. The message when that
// fails, else nothing.
std::optional<QString> appendLine(const QString &path, const QString &line);

} // namespace definitions
