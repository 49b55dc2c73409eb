#pragma once

#include "machinesetup.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// What the DNC server decides from the text a machine sends, and how it finds and files programs:
// plain functions over the machine's setup, free of ports and timers.
namespace comm {

// A request for a program, as a request pattern read it.
struct DncRequest
{
    int pattern = 0;       // which of the setup's patterns, from 1
    QByteArray how;        // name, extension or number
    QString folder;        // the pattern's folder; empty for the machine's programs
    QString name;          // what the request names (its first group)
    bool operator==(const DncRequest &) const = default;
};

// The first request pattern of `setup` that the text `head` (the first lines of what arrived,
// CR LF or LF ended) matches, or nothing. Patterns ignore the case of letters.
std::optional<DncRequest> findRequest(const interp::DncSetup &setup, QByteArrayView head);

// A name from the wire that may become a file name: letters, digits, "_", "-" and ".", not
// starting with "." and at most 100 characters. Anything else (a "/", a "..", a space) could
// reach outside the machine's folders and is refused.
bool safeFileName(const QString &name);

// The file a request asks for in `folder`, or why there is none. The names tried: the name as
// given (name), with the machine's extension (extension), or "O" and the number padded to the
// setup's digits with the extension, then without it (number); each exactly, then ignoring case.
struct LocatedProgram
{
    QString path;   // empty when none is there
    QString reason; // why not, for the log
};
LocatedProgram locateProgram(const interp::DncSetup &setup, const DncRequest &request, const QString &folder);

// The name a capture is filed under, from its first lines: "O" and its program number padded to
// the setup's digits, or with fileName "name" a name written <NAME> or O<NAME> first; then the
// machine's extension. Empty when the lines give none that safeFileName() allows.
QString captureFileName(const interp::DncSetup &setup, QByteArrayView head);

// Whether a line of a capture ends it: once the program has begun (a line other than the
// beginning text has come), the profile's end text alone on the line, ignoring spaces and case;
// with no end text, a "%" line.
bool endsCapture(QByteArrayView line, QByteArrayView endText, bool begun);
// Whether a line ends a program: M2 or M30 as a word.
bool endsProgram(QByteArrayView line);

// "FAILED_<machine>_<yyyyMMdd-HHmmss>", and "UNNAMED_..." for a good capture with no name, made
// unique in `folder` with "-2", "-3" ...
QString datedName(const QString &kind, const QString &machine, const QDateTime &when, const QString &folder,
                  const QString &extension = QString());

// Files the capture as `name` in `folder` by renaming it there (the capture lies in that folder,
// so the name holds the whole capture or the old file, never part of one). A file of that name
// becomes NAME.1, NAME.1 becomes NAME.2 and so on up to `backups`, the oldest let go; with no
// backups the old file is replaced. Gives the backups made, for the log; throws ControlError.
QStringList fileCapture(const QString &capture, const QString &folder, const QString &name, int backups);

} // namespace comm
