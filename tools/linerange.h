#pragma once

#include <QString>
#include <optional>

// The line range every tool works on, and the checks of its fields, free of widgets.
namespace tools {

// The frame fields of a tool window as the machinist left them.
struct RangeFields
{
    bool all = true;        // ALL: "All Lines"
    bool line2line = false; // LINE2LINE: "From Line"
    QString startLine;      // StartLine
    QString endLine;        // EndLine
};

// Lines first ... last of the program, from 1.
struct LineRange
{
    qint64 first = 1;
    qint64 last = 0;
    qint64 count() const { return last - first + 1; }
};

// Whether a StartLine text has to be refused as it changes: its reading below 1, or, when
// `upperTest` is set, above the program's last line.
bool startLineRefused(const QString &text, qint64 numberOfLines, bool upperTest = true);
// Whether an EndLine text has to be refused as it changes: its reading below 1 or above the last line.
bool endLineRefused(const QString &text, qint64 numberOfLines);

// The lines Go works on, or nothing when the fields cannot run. Both fields must hold numbers
// whichever option is chosen, with 1 <= start <= end <= numberOfLines. With ALL the range is the
// whole program; with LINE2LINE it is the whole-number part of the two fields.
std::optional<LineRange> checkRange(const RangeFields &fields, qint64 numberOfLines);

// The Go button's caption after `counter` lines of the range have been started: the share of the
// range written with `percentFormat`, then "%". Nothing for a range of one line, which shows no
// percentage (the share is counted against last - first, so the last line shows a little over 100%).
std::optional<QString> progressCaption(qint64 counter, const LineRange &range, const QString &percentFormat);

} // namespace tools
