#pragma once

#include "linerange.h"
#include "linerewrite.h"
#include "runnote.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "lineposition.h"

namespace tessarc {
class Program;
}

namespace tools {

// One line's work during a run: the line as read from the store in; the line to write back into
// `out`, a buffer the run keeps from line to line. A fault stops the run at that line.
using LineWork = std::function<LineFault(QByteArrayView line, QByteArray &out)>;

// What a tool works on besides its own settings: the program and the rules every run reads.
struct RunPlace
{
    tessarc::Program &program;
    LineRules rules;               // how lines are rewritten
    QString textNull;              // what a tool says of fields that cannot run (TEXTNULL)
    QString commentCommands;       // the commands whose comments Remove Comments keeps
    qint64 caretLine = 1;          // where the caret stands, for the history and for a range's default
};

// Where a run is told of, as it goes: the window draws it on its button and lets events through,
// a form without a window on the terminal.
class RunFeedback
{
public:
    virtual ~RunFeedback() = default;
    // The `counter`-th line of `range` is being worked on: the first, then every 64th at least.
    virtual void progress(qint64 counter, const LineRange &range) { (void)counter, (void)range; }
};

// One run of a tool over the program: the range read or rewritten line by line, progress told,
// what the run did gathered for its note.
class ToolRun
{
public:
    ToolRun(const RunPlace &place, RunFeedback &feedback, RunNote &note)
        : m_place(place), m_feedback(feedback), m_note(note)
    {
    }

    const RunPlace &place() const { return m_place; }
    tessarc::Program &program() const { return m_place.program; }
    RunNote &note() const { return m_note; }
    // Told for every line; the feedback hears of the first and of every 64th, so that most lines
    // only pass by.
    void progress(qint64 counter, const LineRange &range) const
    {
        if (counter % 64 != 0 && m_told)
            return;
        m_told = true;
        m_feedback.progress(counter, range);
    }

    // The range rewritten in place, line by line, with `work`: the message for a run that stopped
    // early (where and why, and which lines were changed), or nothing.
    QString rewriteRange(const LineRange &range, const LineWork &work) const;
    // The range read line by line; `visit` returns false to stop. The message for a read that
    // failed, or nothing.
    QString readRange(const LineRange &range, const std::function<bool(tessarc::LineNumber, QByteArrayView)> &visit) const;

    // The message for a run that stopped at `line`: why, and which lines were changed.
    static QString stoppedText(const LineRange &range, qint64 line, const QString &reason, bool changedBefore);

private:
    const RunPlace &m_place;
    RunFeedback &m_feedback;
    RunNote &m_note;
    mutable bool m_told = false; // the feedback has heard of the run
};

// A tool with its settings, as its window's fields or a recorded step give them: its step, its
// checks and its work on the program. Free of widgets, so a window, Run Macro and the command
// line run it alike.
class Tool
{
public:
    virtual ~Tool() = default;

    // The step a macro records for it ("Operations"); empty for a tool no macro holds.
    virtual QString stepName() const = 0;
    // The step's settings text, every item followed by `separator`.
    virtual QString stepSettings(const QString &separator) const { (void)separator; return QString(); }
    // The tool's own checks before a run: nothing when its settings can run, else the text to show.
    virtual std::optional<QString> checkFields(const RunPlace &place) const { (void)place; return std::nullopt; }
    // The range the run works on, or nothing when the range fields cannot run (the TEXTNULL text is
    // said). By default: both lines numeric, 1 <= start <= end <= the last line.
    virtual std::optional<LineRange> checkRange(const RunPlace &place) const;
    // Checks that need the range, once it passed its own.
    virtual std::optional<QString> checkRun(const LineRange &range, const RunPlace &place) const
    {
        (void)range, (void)place;
        return std::nullopt;
    }
    // The run, once every check passed, inside one step of the history: the message to show
    // afterwards (why it stopped early), or nothing.
    virtual QString run(ToolRun &run, const LineRange &range) = 0;

    RangeFields fields; // ALL, LINE2LINE, StartLine, EndLine
};

// A tool of type T with `settings` over the range `fields` give.
template <class T, class Settings>
std::unique_ptr<Tool> toolWith(Settings settings, RangeFields fields)
{
    auto tool = std::make_unique<T>();
    tool->settings = std::move(settings);
    tool->fields = std::move(fields);
    return tool;
}

// How a tool's run went: refused by a check (nothing ran), or run, to its end or stopped.
struct ToolOutcome
{
    bool ran = false;
    QString message; // why it was refused, or why it stopped; empty when it ran to its end
    RunNote note;    // what the run did, when it ran
};

// Runs `tool` on the program: its checks, then (when `start` lets it, given the range) the run as one
// step of the history, whatever part of it reaches the store. A fault of the store or of memory
// stops the run with its message; it never escapes. `start` is where the caller records the step
// instead, or takes the lock; false ends there with no message.
ToolOutcome runTool(Tool &tool, const RunPlace &place, RunFeedback &feedback,
                    const std::function<bool(const LineRange &)> &start = {});

} // namespace tools
