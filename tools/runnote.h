#pragma once

#include "linerewrite.h"

#include <QString>
#include <array>

namespace tools {

// What a run did, for the status strip, the macro run log and the command line: what ran, on which
// lines, how many it changed, how many it left alone and why, how long it took, and where it stopped.
struct RunNote
{
    QString what;               // the step's name
    qint64 first = 0;           // the lines the run covered
    qint64 last = 0;
    bool counted = false;       // whether the run counted its lines (runs of their own may not)
    qint64 changed = 0;         // lines whose bytes differ after the run
    qint64 unchanged = 0;       // lines passed without a change
    std::array<qint64, kLineFaultCount> leftAlone{}; // lines left as they were, by LineFault (index by its value)
    qint64 elapsedMs = 0;
    QString stopped;            // why and where the run stopped early; empty when it ran to the end
    QString detail;             // what a run of its own did, in its own words (instead of "done")
    QString letters;            // the letters whose words the run reads, for the reasons it gives
    QString remark;             // what else a counted run says, after its counts

    void leaveAlone(LineFault fault) { ++leftAlone[static_cast<std::size_t>(fault)]; }
    // One sentence, with the duration last in the fixed form " in 0.12 s.".
    QString text() const;
    // The text without its duration, for comparisons.
    QString textWithoutTime() const;
};

} // namespace tools
