#pragma once

#include "linerewrite.h"

#include <QByteArray>
#include <QList>

// A program's lines after a run of one tool's per-line work, as the frame runs it: line by line
// through one buffer, stopping at the first fault that stops a run, so that the faulting line and
// every line after it stay as they were; the lines a fault only leaves alone are counted.
struct LineRun
{
    QList<QByteArray> lines;
    qsizetype stoppedAt = -1; // the index of the line that faulted, or -1
    tools::LineFault fault = tools::LineFault::None;
    qsizetype leftAlone = 0;
};

template <typename Work>
LineRun runLines(Work &work, const QList<QByteArray> &lines)
{
    LineRun run{lines};
    QByteArray out("left over from before the run");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const tools::LineFault fault = work(lines.at(i), out);
        if (fault != tools::LineFault::None && out != lines.at(i))
            run.lines[i] = "a faulting line came back changed: " + out;
        if (fault != tools::LineFault::None && !tools::stopsRun(fault)) {
            ++run.leftAlone;
            continue;
        }
        if (fault != tools::LineFault::None) {
            // A fault leaves the line as it was for the frame to write back or not.
            run.stoppedAt = i;
            run.fault = fault;
            break;
        }
        run.lines[i] = out;
    }
    return run;
}
