#pragma once

#include "block.h"
#include "linesource.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QList>
#include <QString>

#include <array>
#include <memory>

// What a program's lines make the machine do, as RS274NGC reads them: the modal state each line
// leaves and the moves it makes. Free of widgets and of the store: it reads lines from a
// LineSource, one at a time, and follows the program's jumps (loops, conditions, subroutines).
//
// Followed: G0 to G4 (I/J/K and R arcs, helices, full circles, P turns), G10 L1/L2/L10/L11/L20,
// the planes, G20/G21, G28/G30 and their stored positions, G33, G38.x as probe moves, G40 to G42,
// G43/G43.1/G49 with the tool table's lengths, G53, G54 to G59.3, G61/G64, G73, G76, G80 to G89
// with G98/G99 and repeats, G90/G91, G90.1/G91.1, G92 to G92.3, G93/G94/G95, G96/G97, G7/G8, the
// M codes that stop, turn the spindle, change tools and coolant; numbered and named parameters,
// expressions and O-word subroutines, loops and conditions. Anything it cannot follow is a
// finding with its line and reason, and that line moves nothing: the position is never guessed.
namespace interp {

enum class MoveKind : quint8 { Rapid, Feed, Arc, Dwell, Probe };

constexpr int kAxes = 9; // X Y Z A B C U V W

// One move. Positions are in program coordinates (the frame in force), in millimetres (an inch
// program converted); rotary axes in degrees.
struct Move
{
    MoveKind kind = MoveKind::Rapid;
    qint64 line = 0;
    std::array<double, kAxes> end{};
    // An arc's centre; its coordinate along the plane's normal is the start's.
    std::array<double, 3> centre{};
    int plane = 17;
    // An arc's direction and turns: -1 clockwise, 1 counter-clockwise, -2 or 2 with one extra
    // full turn (P2), and so on; 0 for other moves.
    int turn = 0;
    double feed = 0.0; // mm/min; for inverse time 1/min, for feed per turn mm/turn
    int tool = 0;      // the tool in the spindle
    std::array<double, 3> offset{}; // work offset plus G92 offset of X Y Z, mm
    double toolLength = 0.0;        // the tool length offset in Z, mm
    double seconds = 0.0;           // a dwell's time
};

// How much a finding matters: an error stops the program on the machine or cuts the wrong part;
// a warning asks the machinist to look.
enum class Severity : quint8 { Error, Warning };

struct Finding
{
    qint64 line = 0;
    QString reason;
    Severity severity = Severity::Error;
    bool operator==(const Finding &o) const = default;
};

// A tool's lengths, as a tool table gives them (mm).
struct ToolEntry
{
    double z = 0.0;
    double x = 0.0;
    double diameter = 0.0;
};

// What the interpreter is told before it starts: the tool table and where subroutines not in the
// program are looked for.
struct Setup
{
    Dialect dialect = Dialect::LinuxCnc;
    QHash<int, ToolEntry> tools;
    QString subroutineFolder;
    // A loop that has run this often is taken as one that never ends, and the run stops there.
    qint64 mostPasses = 10'000'000;
};

// Reads a tool table in LinuxCNC's format (`T1 P1 Z0.5 D0.25 ;comment`), its values in
// millimetres, or in inches when `inches`. An error names the line.
bool readToolTable(const QString &file, bool inches, QHash<int, ToolEntry> &tools, QString &error);

// The modal state, as a line leaves it. Codes are in tenths: G90.1 is 901.
struct ModalState
{
    int motion = 800;           // 0, 10, 20, 30, 330, 382 ... 385, 730, 760, 810 ... 890, or 800 (none)
    int plane = 170;
    bool inches = false;        // G20 (true) or G21
    bool incremental = false;   // G91 (true) or G90
    bool arcAbsolute = false;   // G90.1 (true) or G91.1
    int feedMode = 940;         // 930, 940 or 950
    int frame = 1;              // 1 ... 9: G54 ... G59.3
    int compensation = 400;     // 400, 410, 411, 420, 421
    int lengthOffset = 490;     // 430, 431, 432 or 490
    bool retractToR = true;     // G99 (true) or G98
    int pathMode = 640;         // 610, 611 or 640
    bool constantSpeed = false; // G96 (true) or G97
    bool diameter = false;      // G7 (true) or G8
    double feed = 0.0;          // mm/min (or as the feed mode gives)
    double speed = 0.0;         // S
    int spindle = 5;            // 3, 4 or 5
    bool mist = false;
    bool flood = false;
    int selectedTool = 0;       // T
    int tool = 0;               // in the spindle (M6)
    double cycleR = 0.0;        // a canned cycle's R, Z (mm), P (s), Q (mm) as last given
    double cycleZ = 0.0;
    double cycleP = 0.0;
    double cycleQ = 0.0;
    double cycleLevel = 0.0;    // where along the plane's normal the series of canned cycles began
    std::array<double, kAxes> machine{};               // where the tool stands, in machine coordinates (mm)
    std::array<std::array<double, kAxes>, 9> frames{}; // G54 ... G59.3 origins (mm)
    std::array<double, kAxes> g92{};                   // the G92 offset (mm)
    std::array<double, kAxes> local{};                 // the G52 offset (mm), added to every frame
    std::array<double, kAxes> toolOffset{};            // the tool length offset (mm)
    bool operator==(const ModalState &o) const = default;
};

// The two axes of an arc's plane (17, 18 or 19), in the order its direction counts from, and its normal.
struct PlaneAxes
{
    std::size_t first;
    std::size_t second;
    std::size_t normal;
};
PlaneAxes planeAxes(int plane);

// The angle an arc turns through from `start` (radians, counter-clockwise positive): to its end, or
// a whole turn for an end on the start, and a whole turn more for each turn past the first. Points
// and the centre are X Y Z; the plane is 17, 18 or 19.
double arcSweep(const double start[3], const double end[3], const double centre[3], int plane, int turn);

// The frame's origin plus the G52 and G92 offsets plus the tool length offset: what is added to a
// program position to make the machine's.
std::array<double, kAxes> offsetsOf(const ModalState &s);

// Puts back the modes M70 or M73 kept: not where the tool stands, the offsets or the tool.
void putModesBack(ModalState &modal, const ModalState &saved);

// The interpreter's whole state between two lines: where it reads next, the modal state, the
// parameters and the calls, loops and conditions under way. A checkpoint of it, put back, goes on
// exactly as the run it was taken from.
struct RunState
{
    struct Frame // a subroutine call under way, or a loop
    {
        QByteArray label;
        QByteArray keyword; // sub, m98, g65, while, do, repeat, if
        QString file;       // the subroutine's file; empty for the program
        qint64 returnLine = 0; // for a call: the line after it; for a loop: its first line
        double repeatsLeft = 0.0;
        bool conditionMet = false; // for if: a branch was taken
        bool restoreModes = false; // for a call: M73 asked for the caller's modes back at its end
        ModalState savedModes;
        qint64 start = 0;          // for M98 and G65: the called program's O line (0: its file's start)
        QString calledFile;        // ... and its file, empty for the program
        QList<double> arguments;   // for G65: #1 ... #30 as the call gave them
        bool operator==(const Frame &o) const = default;
    };
    qint64 line = 1;     // the next line to read
    QString file;        // where it is read: empty for the program, else a subroutine's file
    bool ended = false;  // M2, M30 or a closing %
    bool percentSeen = false;
    ModalState modal;
    bool modesSaved = false; // by M70
    ModalState savedModes;
    Parameters parameters;
    QList<Frame> frames;
    QHash<QByteArray, qint64> subroutines; // where each subroutine the program has passed begins
    bool operator==(const RunState &o) const = default;

    // At the program's top level: no call, loop or condition under way. Only there can the run
    // be started again from a checkpoint.
    bool atTopLevel() const { return frames.isEmpty() && file.isEmpty(); }
    QByteArray encode() const;
    bool decode(QByteArrayView bytes);
};

class Interpreter
{
public:
    explicit Interpreter(Setup setup = {});
    ~Interpreter();

    // Follows the next line of the program (or of the subroutine under way): its moves are
    // appended to `moves`, what it cannot follow to `findings`. false once the program has ended
    // (M2, M30, a closing %, or its last line).
    bool step(LineSource &program, QList<Move> &moves, QList<Finding> &findings);

    const RunState &state() const { return m_run; }
    const Setup &setup() const { return m_setup; }
    // The block of the line last read (a line holding only % reads none).
    const Block &block() const { return m_block; }
    void restore(const RunState &state) { m_run = state; }

    // A named state parameter (#<_x>, #<_metric>, ...) as the program would read it now.
    std::optional<double> stateValue(const QByteArray &name) const;

private:
    void execute(const Block &block, qint64 number, QList<Move> &moves, QList<Finding> &findings);
    bool flow(const OWord &oword, LineSource &source, qint64 number, QList<Finding> &findings);
    bool callByM98(LineSource &program, qint64 number, QList<Finding> &findings);
    bool callByG65(LineSource &program, qint64 number, QList<Finding> &findings);
    bool callProgram(LineSource &program, qint64 number, qint64 programNumber, const char *how, double times,
                     const QList<double> &arguments, QList<Finding> &findings);
    bool macroFlow(const Statement &statement, LineSource &program, qint64 number, QList<Finding> &findings);
    void returnByM99(LineSource &program, qint64 number, QList<Finding> &findings);
    LineSource *sourceFor(const QString &file, LineSource &program);
    bool skipTo(LineSource &source, const QByteArray &label, std::initializer_list<const char *> keywords, qint64 from,
                qint64 &found, QByteArray &keyword);

    void report(QList<Finding> &findings, const Finding &finding);

    Setup m_setup;
    RunState m_run;
    QSet<QString> m_said; // the findings of lines inside loops and calls said so far
    Block m_block;
    QHash<QString, std::shared_ptr<TextLines>> m_files; // subroutine files read so far
};

// Whether a program has U, V or W words, one pass over its lines: the table shows those axes then.
bool usesUvw(LineSource &program);

// The moves as rows of a tab-separated table, with the columns U V W only when `uvw`.
QString movesHeader(bool uvw = false);
QString moveRow(const Move &move, bool uvw = false);
// The same row, ended by a line feed, appended to `out`.
void appendMoveRow(QByteArray &out, const Move &move, bool uvw = false);

} // namespace interp
