#pragma once

#include "machinesetup.h"
#include "motion.h"

#include <QList>

#include <array>
#include <functional>
#include <vector>

// How long a program takes on a machine, as its motion planner would run it: each move at the
// speed the program and the axes allow, accelerating and decelerating on a trapezoid, through
// corners as fast as the angle between two moves allows, over a lookahead of a bounded number of
// moves. Fed in one pass, move by move, by whoever follows the program; it holds at most one
// window of moves, whatever the program's length.
//
// The model:
// - A move's length is its path in X Y Z; when those stand still, in U V W; when those stand too,
//   in A B C (degrees). An arc's length is its true one, a helix's included. Positions are the
//   machine's (a move's end plus its offsets), so a change of work offset is no jump.
// - Its speed: a rapid at the fastest rate at which no axis exceeds its own rapid rate; a feed at F
//   (G94), 1/F minutes for the whole move (G93) or F mm a turn at S rpm (G95; under G96 the turns
//   at the move's mean radius, up to the setup's top spindle speed), capped the same way by each
//   axis's top feed and by its rapid rate. An arc's speed is also held to v²/r <= a.
// - Its acceleration: the largest at which no axis exceeds its own. On an arc the axes of its
//   plane are taken as far along the tangent as the swept angle turns it.
// - A corner: the junction-deviation model, v² = a·δ·sin(θ/2) / (1 − sin(θ/2)), θ the angle
//   between the incoming move reversed and the outgoing one, a the smaller of the two moves'
//   accelerations, δ = kDeviation; never more than either move's speed. A move under exact stop
//   (G61, G61.1) ends at rest. Dwells, tool changes, probes, stops and moves with no speed
//   (F0, G95 with S0) stand the machine still on both sides.
//
// Where it knowingly differs from a real planner:
// - The lookahead is kWindow moves: the oldest move is final once the window is full, planned as
//   if the machine stopped after the newest. A controller with a shorter queue is slower on long
//   runs of short moves, one with a longer queue faster.
// - No jerk limit: acceleration steps from 0 to its most at once, so short moves are a little faster
//   than on a machine with S-curve profiles.
// - No blending tolerance beyond the junction deviation: a corner is passed at a point, the path
//   is not rounded within a G64 P tolerance, and many tiny segments along a smooth curve are only
//   as fast as their corners allow.
// - An arc is one segment: its tangent's turn within it costs no time beyond the centripetal
//   limit, and the angles between the axes' directions in mm and degrees are taken as they stand.
// - A probe is timed to its programmed end; on a machine it stops where it touches.
// - M0 and M1 are stops only when the feeder says so (stop()); spindle and coolant changes are not.
namespace interp {

class CycleTimer
{
public:
    static constexpr int kWindow = 128;       // moves held for lookahead (a power of two)
    static constexpr double kDeviation = 0.01; // mm, the junction deviation

    explicit CycleTimer(const MachineSetup &setup);
    static_assert((kWindow & (kWindow - 1)) == 0);

    // Where the tool stands before the first move, in machine coordinates (ModalState::machine);
    // the machine's origin unless told. Held moves are timed first, and the machine is at rest.
    void start(const std::array<double, kAxes> &machine);
    // A move, with the modes it was made under (feed mode, spindle speed, path mode); it starts
    // where the move before it ended.
    void add(const Move &move, const ModalState &modes);
    // The setup's tool-change time, with the machine at rest on both sides.
    void toolChange(qint64 line, int tool);
    // The machine stops here (M0, M1, M2, M30): every held move is timed, the last ending at rest.
    void stop();
    // The end: everything still held is timed.
    void finish();

    // One line the interpreter followed, with the modes it left: a tool change first when the tool in
    // the spindle is not the one the line before left (no tool at the start), then the line's moves.
    void addLine(qint64 line, const ModalState &after, const QList<Move> &moves);

    // Each move's (dwell's, tool change's) time as soon as it is final, in the order added: its
    // line, the tool in the spindle, seconds.
    std::function<void(qint64 line, int tool, double seconds)> timed;

    double total() const { return m_total; } // the seconds told so far
    // The same moves at their speeds with no acceleration and no corners (rapids at the rapid rate),
    // dwells and tool changes included: the plain sum, for every move added so far.
    double plainTotal() const { return m_plain; }
    // Moves that could not be timed, having no speed (F0, G95 with S0): told as 0 seconds.
    qint64 untimedMoves() const { return m_untimed; }

    // One move's plain time: its length at its speed, no acceleration, starting where `previous`
    // ended (the machine's origin when there is none).
    static double plainSeconds(const Move &move, const ModalState &modes, const Move *previous,
                               const MachineSetup &setup);

private:
    struct Segment
    {
        qint64 line = 0;
        int tool = 0;
        double length = 0.0;   // mm (degrees)
        double cruise = 0.0;   // mm/s, the most it goes
        double perAccel = 0.0; // s²/mm, the inverse of its acceleration
        double gain = 0.0;     // mm²/s², 2·a·L: how much its speed squared can change over it
        // Speeds squared (mm²/s²), so that planning takes no roots.
        double maxEntry2 = 0.0; // the most the junction into it allows
        double backward2 = 0.0; // the most its entry may be and still stop at the window's end
        double entry2 = 0.0;    // as planned
    };

    struct Rates
    {
        // Each axis's inverse rates, so that a move's are found by multiplying.
        std::array<double, kAxes> perRapid{}; // s/mm
        std::array<double, kAxes> perFeed{};  // s/mm, 0: no top feed
        std::array<double, kAxes> perAccel{}; // s²/mm
        double spindleMax = 0.0;
    };

    // A move's geometry and speeds, from where it starts. The directions are left unset (it is made
    // for every move, and clearing costs more than the rest) unless the length is more than 0.
    struct Shape
    {
        double length = 0.0;
        double plainSpeed = 0.0; // mm/s before the centripetal limit
        double cruise = 0.0;
        double accel = 0.0;
        double perAccel = 0.0;
        std::array<double, kAxes> in;  // unit direction at the start
        std::array<double, kAxes> out; // ... and at the end
        std::array<double, kAxes> end; // machine position at the end
    };

    static Rates ratesOf(const MachineSetup &setup);
    // Its end in machine coordinates, of the first `axes` axes (the rest left unset).
    static std::array<double, kAxes> machineEnd(const Move &move, std::size_t axes = kAxes);
    // `axes`: 3 when the axes past Z stand still (their end, in, out and the like are left unset),
    // else kAxes.
    static Shape shapeOf(const Move &move, const ModalState &modes, const std::array<double, kAxes> &from,
                         const Rates &rates, std::size_t axes);

    void push(const Segment &segment);
    void emitOldest(double exit2);
    void flush();
    void tell(qint64 line, int tool, double seconds);

    Rates m_rates;
    double m_toolChangeSeconds = 0.0;
    int m_tool = 0; // in the spindle, as the last line left it
    std::array<double, kAxes> m_position{};
    std::vector<Segment> m_ring; // kWindow, used from m_head for m_count
    int m_head = 0;
    int m_count = 0;
    // The direction, speed, acceleration and mode the last held move ended with.
    bool m_moving = false;
    std::array<double, kAxes> m_lastOut{};
    bool m_lastOutRest = false; // ... and whether it turned an axis past Z
    double m_lastCruise = 0.0;
    double m_lastAccel = 0.0;
    bool m_lastExact = false;
    double m_total = 0.0;
    double m_plain = 0.0;
    qint64 m_untimed = 0;
};

} // namespace interp
