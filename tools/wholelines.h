#pragma once

#include "program.h"

#include <QString>

// Insert File and Remove Lines: the tools that change the number of lines. Each builds the new
// program aside (tessarc::ProgramRebuild) and puts it in place only once it is complete, so a
// failure on the way (a disk too full, a file that cannot be read, a line too long for a record)
// leaves the program and its store exactly as they were.
namespace tools {

// The number of lines of a file to insert, read with the load's line rule (CR, CR LF, and a lone
// LF when `program.lfEndsLine` is set). Throws the load's error for a line too long for a record
// of the program's store, and for a file that cannot be read; nothing is changed either way.
qint64 countInsertLines(const tessarc::Program &program, const QString &path);

// Puts the lines of the file `path` after line `after` of the program (0: before the first line;
// the last line: at the end), each exactly as the file holds it. The file is checked whole by
// countInsertLines() before the program is touched. `progress` is told the records written of
// all the new program's. Throws ControlError; the program is then as it was.
void insertFile(tessarc::Program &program, const QString &path, qint64 after,
                const tessarc::ProgressReport &progress = {});

// Removes lines first ... last (1 <= first <= last <= the line count). `progress` as above.
void removeLines(tessarc::Program &program, qint64 first, qint64 last,
                 const tessarc::ProgressReport &progress = {});

// The message for a rewrite that failed: what went wrong, then `outcome` (what it means for the
// program), as one text.
QString failureText(const tessarc::ControlError &error, const QString &outcome);

// The settings texts of the recorded steps: "Insert File" is the file's path, then StartLine;
// "Remove Lines" is StartLine, then EndLine; each value followed by `separator`.
QString insertFileStep(const QString &path, const QString &startLine, const QString &separator);
QString removeLinesStep(const QString &startLine, const QString &endLine, const QString &separator);

} // namespace tools
