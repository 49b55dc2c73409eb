#pragma once

#include "machinesetup.h"
#include "motion.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

// The check of a program before it runs, made beside the interpreter's one pass: what the
// interpreter cannot follow, and what it follows but the machine would refuse or the machinist
// would not want (a move past the travel, a feed or a speed past the machine's, an arc off its
// circle, cutter compensation started badly, a tool changed with the spindle turning, an N word
// too long, no program end), with the program's extents, lengths and time.
namespace interp {

struct CheckSummary
{
    struct Tool
    {
        int tool = 0;
        double seconds = 0.0;
        double feedLength = 0.0; // mm
        double rapidLength = 0.0;
    };
    quint32 axesUsed = 0;                  // a bit for each axis a move reaches (X is bit 0)
    std::array<double, kAxes> min{};       // the extents, in program coordinates
    std::array<double, kAxes> max{};
    double rapidLength = 0.0;              // mm
    double feedLength = 0.0;
    double seconds = 0.0;                  // as the machine would run it
    double plainSeconds = 0.0;             // length over feed, with no acceleration
    qint64 moves = 0;
    qint64 untimedMoves = 0;               // with no speed to time them by
    qint64 errors = 0;
    qint64 warnings = 0;
    QList<Tool> tools;                     // in the order they first cut
};

class Checker
{
public:
    Checker(const Setup &setup, const MachineSetup &machine);
    ~Checker();

    // Around each step of the interpreter's pass: `before` with the state before it, `after`
    // with the line's moves and the interpreter's findings.
    void before(const Interpreter &interpreter);
    void after(const Interpreter &interpreter, const QList<Move> &moves, const QList<Finding> &findings);
    // The pass has ended after `lastLine`; `ranOut` when it ran past the last line with no M2,
    // M30 or closing % to end it.
    void finish(qint64 lastLine, bool ranOut);

    // The findings by line (a line's own in the order found).
    const QList<Finding> &findings() const { return m_findings; }
    const CheckSummary &summary() const { return m_summary; }
    // When each line's moves are done, seconds from the start (the line's first run; a line
    // with no moves the time of the line before it); index 0 is the start. Made when asked for
    // with `keepLineTimes` before the pass, for `lines` lines.
    void keepLineTimes(qint64 lines);
    std::vector<float> takeLineTimes() { return std::move(m_lineTimes); }

private:
    struct Planner;
    struct Item;
    // What is told, and how much of each kind, by one thread: the pass's, and the planner's (the
    // moves' own findings), joined when the pass ends in the order they would have been told in
    // one: by the step of the pass, then the phase within it (0 for the step's own, odd for the
    // planner's of its moves, even past 0 for the pass's of its moves).
    struct Told
    {
        struct Key
        {
            qint64 step = 0;
            qint64 phase = 0;
            bool operator<(const Key &o) const { return step != o.step ? step < o.step : phase < o.phase; }
        };
        QList<Finding> findings;
        std::vector<Key> keys;
        QSet<QString> saidNested; // the findings told of lines inside a call or a loop
        std::array<int, 16> said{}; // findings told of each kind, so a fault on every line is told a few times
        std::array<qint64, 16> untold{};
        std::array<std::pair<qint64, Severity>, 16> untoldFrom{};
        void say(Key key, bool nested, qint64 line, Severity severity, const QString &reason, int kind);
    };
    void say(qint64 line, Severity severity, const QString &reason, int kind, qint64 phase = 0);
    void checkMove(const Item &item, Told &told); // on the planner's thread
    CheckSummary::Tool &toolOf(int tool);

    Setup m_setup;
    MachineSetup m_machine;
    QList<Finding> m_findings;
    Told m_told;
    qint64 m_step = 0; // the pass's steps so far
    CheckSummary m_summary;
    std::vector<float> m_lineTimes;
    std::unique_ptr<Planner> m_planner;
    QHash<int, int> m_toolIndex; // where each tool stands in the summary's list
    // ... and the one last looked up (the list is the checker's own until the pass ends, and grows
    // only in toolOf, which sets this again)
    CheckSummary::Tool *m_lastTool = nullptr;
    quint32 m_limitedAxes = 0;   // a bit for each axis with a travel
    std::array<double, kAxes> m_travelLow{}, m_travelHigh{}; // its ends, a hair wide; infinite with none
    bool m_zeroOffTravel = false; // an axis past Z has a travel that leaves out 0
    bool m_restAtZero = false;    // a move was made with every axis past Z at 0
    std::array<double, kAxes> m_low{}, m_high{}; // the extents so far

    // Where the tool stands, in machine coordinates: at the start, and as the moves leave it (kept
    // by the planner's thread, as the extents, lengths and the summary's tools are, until it ends).
    std::array<double, kAxes> m_startPosition{};
    std::array<double, kAxes> m_machinePosition{};
    int m_spindleBefore = 5;        // the modes before the line, as far as the checks need them
    int m_compensationBefore = 400;
    qint64 m_line = 0;
    bool m_programLine = false;
    bool m_nested = false;        // the line runs inside a call or a loop
    bool m_compensationStarting = false;
    bool m_fedMove = false;       // a move has gone to the planner
};

// The whole check in one pass over the program. `progress` is called now and then with the line
// reached; the pass stops when it returns false (and the result says so).
struct CheckRun
{
    QList<Finding> findings;
    CheckSummary summary;
    std::vector<float> lineTimes;
    qint64 lines = 0;
    bool cancelled = false;
};
CheckRun checkProgram(LineSource &program, const Setup &setup, const MachineSetup &machine, bool keepLineTimes = false,
                      const std::function<bool(qint64)> &progress = {});

// The summary of a run, as the check window and --check show it below the findings: the counts,
// the extents per axis, the rapid and feed lengths, the time in all and per tool.
QStringList summaryLines(const QString &programName, const CheckRun &run);

// "1:02:10" (hours:minutes:seconds, rounded to the second; minutes:seconds under an hour).
QString clockText(double seconds);

} // namespace interp
