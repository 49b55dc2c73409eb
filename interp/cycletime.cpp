#include "cycletime.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <numbers>

namespace interp {

namespace {

constexpr double kTiny = 1e-9;      // mm (degrees): less than this is no motion
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The time of `length` from `entry` to `exit` on a trapezoid: up to `cruise` at the acceleration
// 1/`perAccel`, down again, or a triangle when the move is too short to reach it.
double profileSeconds(double length, double entry, double exit, double cruise, double perAccel)
{
    if (length <= 0.0)
        return 0.0;
    const double up = (cruise * cruise - entry * entry) * 0.5 * perAccel;
    const double down = (cruise * cruise - exit * exit) * 0.5 * perAccel;
    if (up + down <= length)
        return (2.0 * cruise - entry - exit) * perAccel + (length - up - down) / cruise;
    const double peak = std::max({std::sqrt((2.0 * length / perAccel + entry * entry + exit * exit) * 0.5), entry, exit});
    return (2.0 * peak - entry - exit) * perAccel;
}

// The most |sin φ| reaches for φ from `from` over `span` (0 ... π) radians, given |sin φ| at both ends.
double mostSine(double from, double span, double atFrom, double atTo)
{
    const double half = std::numbers::pi / 2.0;
    const double k = std::ceil((from - half) / std::numbers::pi);
    if (half + k * std::numbers::pi <= from + span)
        return 1.0;
    return std::max(atFrom, atTo);
}

} // namespace

CycleTimer::CycleTimer(const MachineSetup &setup)
    : m_rates(ratesOf(setup)), m_toolChangeSeconds(setup.toolChangeSeconds), m_ring(kWindow)
{
}

CycleTimer::Rates CycleTimer::ratesOf(const MachineSetup &setup)
{
    Rates r;
    for (int i = 0; i < kAxes; ++i) {
        const auto a = static_cast<std::size_t>(i);
        r.perRapid[a] = 60.0 / setup.rapidOf(i);
        r.perFeed[a] = setup.axes[a].maxFeed > 0.0 ? 60.0 / setup.axes[a].maxFeed : 0.0;
        r.perAccel[a] = 1.0 / setup.accelOf(i);
    }
    r.spindleMax = setup.spindleMax;
    return r;
}

std::array<double, kAxes> CycleTimer::machineEnd(const Move &move, std::size_t axes)
{
    std::array<double, kAxes> p;
    std::copy_n(move.end.begin(), axes, p.begin());
    for (std::size_t a = 0; a < 3; ++a)
        p[a] += move.offset[a];
    p[2] += move.toolLength;
    return p;
}

CycleTimer::Shape CycleTimer::shapeOf(const Move &move, const ModalState &modes, const std::array<double, kAxes> &from,
                                      const Rates &rates, std::size_t axes)
{
    Shape shape;
    shape.end = machineEnd(move, axes);
    std::array<double, kAxes> d;
    for (std::size_t a = 0; a < axes; ++a)
        d[a] = shape.end[a] - from[a];

    // How far along each axis the move goes for each mm of its length, at most.
    std::array<double, kAxes> share;
    bool arc = false;
    double radius = 0.0;
    std::size_t moving = axes; // the axes past these stand still
    if (move.kind == MoveKind::Arc && move.turn != 0) {
        const PlaneAxes pa = planeAxes(move.plane);
        const auto p = static_cast<std::size_t>(pa.first);
        const auto q = static_cast<std::size_t>(pa.second);
        const auto n = static_cast<std::size_t>(pa.normal);
        std::array<double, 3> centre = move.centre;
        for (std::size_t a = 0; a < 3; ++a)
            centre[a] += move.offset[a];
        centre[2] += move.toolLength;
        const double sp = from[p] - centre[p], sq = from[q] - centre[q];
        const double ep = shape.end[p] - centre[p], eq = shape.end[q] - centre[q];
        const double rs = std::sqrt(sp * sp + sq * sq), re = std::sqrt(ep * ep + eq * eq);
        if (rs > kTiny && re > kTiny) {
            arc = true;
            const double startAngle = std::atan2(sq, sp), endAngle = std::atan2(eq, ep);
            const bool ccw = move.turn > 0;
            double sweep = ccw ? endAngle - startAngle : startAngle - endAngle;
            if (d[p] * d[p] + d[q] * d[q] <= kTiny * kTiny)
                sweep = kTwoPi; // a full circle
            else if (sweep < 0.0)
                sweep += kTwoPi;
            sweep += kTwoPi * (std::abs(move.turn) - 1);
            radius = (rs + re) / 2.0;
            const double planar = radius * sweep;
            shape.length = std::sqrt(planar * planar + d[n] * d[n]); // a helix's rise along the normal
            if (shape.length <= kTiny)
                return shape;
            const double along = planar / shape.length;
            // The tangent at angle φ points along (−sin φ, cos φ) (counter-clockwise).
            const double lowest = ccw ? startAngle : endAngle;
            if (sweep >= std::numbers::pi) {
                share[p] = share[q] = along;
            } else {
                // sin φ and cos φ at the ends, lowest first: |sin(φ + π/2)| is |cos φ|.
                const double sinLow = std::abs(ccw ? sq / rs : eq / re), sinHigh = std::abs(ccw ? eq / re : sq / rs);
                const double cosLow = std::abs(ccw ? sp / rs : ep / re), cosHigh = std::abs(ccw ? ep / re : sp / rs);
                share[p] = along * mostSine(lowest, sweep, sinLow, sinHigh);
                share[q] = along * mostSine(lowest + std::numbers::pi / 2.0, sweep, cosLow, cosHigh);
            }
            const double perLength = 1.0 / shape.length;
            const double turn = ccw ? 1.0 : -1.0;
            for (std::size_t a = 0; a < axes; ++a) {
                if (a != p && a != q) {
                    share[a] = std::abs(d[a]) * perLength;
                    shape.in[a] = shape.out[a] = d[a] * perLength;
                }
            }
            shape.in[p] = -turn * along * sq / rs;
            shape.in[q] = turn * along * sp / rs;
            shape.out[p] = -turn * along * eq / re;
            shape.out[q] = turn * along * ep / re;
        }
    }
    if (!arc && axes == 3) {
        shape.length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (shape.length <= kTiny) {
            shape.length = 0.0;
            return shape;
        }
        const double perLength = 1.0 / shape.length;
        for (std::size_t a = 0; a < 3; ++a) {
            share[a] = std::abs(d[a]) * perLength;
            shape.in[a] = shape.out[a] = d[a] * perLength;
        }
    } else if (!arc) {
        const double xyz = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double abc = d[3] * d[3] + d[4] * d[4] + d[5] * d[5];
        const double uvw = d[6] * d[6] + d[7] * d[7] + d[8] * d[8];
        constexpr double tiny = kTiny * kTiny;
        shape.length = std::sqrt(xyz > tiny ? xyz : uvw > tiny ? uvw : abc);
        if (shape.length <= kTiny) {
            shape.length = 0.0;
            return shape;
        }
        const double perLength = 1.0 / shape.length;
        if (abc + uvw == 0.0) {
            moving = 3; // the common case, X Y Z alone
            std::fill(shape.in.begin() + 3, shape.in.end(), 0.0);
            std::fill(shape.out.begin() + 3, shape.out.end(), 0.0);
        }
        for (std::size_t a = 0; a < moving; ++a)
            share[a] = std::abs(d[a]) * perLength;
        const double perNorm = moving == 3 ? perLength : 1.0 / std::sqrt(xyz + abc + uvw);
        for (std::size_t a = 0; a < moving; ++a)
            shape.in[a] = shape.out[a] = d[a] * perNorm;
    }

    // The fastest no axis's rapid rate (top feed, acceleration) is exceeded at: the inverse of the
    // most time (s/mm, s²/mm) any axis needs for each mm of the move.
    double slowest = 0.0, slowestFeed = 0.0, slowestAccel = 0.0;
    for (std::size_t a = 0; a < moving; ++a) {
        slowest = std::max(slowest, share[a] * rates.perRapid[a]);
        slowestFeed = std::max(slowestFeed, share[a] * rates.perFeed[a]);
        slowestAccel = std::max(slowestAccel, share[a] * rates.perAccel[a]);
    }
    const double rapid = 1.0 / slowest;
    const double feedCap = slowestFeed > 0.0 ? 1.0 / slowestFeed : std::numeric_limits<double>::infinity();
    const double accel = 1.0 / slowestAccel;
    shape.accel = accel;
    shape.perAccel = slowestAccel;
    double speed = rapid;
    if (move.kind != MoveKind::Rapid) {
        double programmed = 0.0;
        switch (modes.feedMode) {
        case 930:
            programmed = shape.length * move.feed / 60.0;
            break;
        case 950: {
            double rpm = modes.speed;
            if (modes.constantSpeed) {
                // S is a surface speed (m/min): the turns at the move's mean radius.
                const double r = (std::abs(from[0]) + std::abs(shape.end[0])) / 2.0;
                rpm = r > kTiny ? 1000.0 * modes.speed / (kTwoPi * r) : std::numeric_limits<double>::infinity();
                if (rates.spindleMax > 0.0)
                    rpm = std::min(rpm, rates.spindleMax);
                if (!std::isfinite(rpm))
                    rpm = 0.0;
            }
            programmed = move.feed * rpm / 60.0;
            break;
        }
        default:
            programmed = move.feed / 60.0;
            break;
        }
        speed = std::min({programmed, rapid, feedCap});
    }
    shape.plainSpeed = std::max(0.0, speed);
    shape.cruise = arc ? std::min(shape.plainSpeed, std::sqrt(accel * radius)) : shape.plainSpeed;
    return shape;
}

double CycleTimer::plainSeconds(const Move &move, const ModalState &modes, const Move *previous,
                                const MachineSetup &setup)
{
    if (move.kind == MoveKind::Dwell)
        return move.seconds;
    const std::array<double, kAxes> from = previous ? machineEnd(*previous) : std::array<double, kAxes>{};
    const Shape shape = shapeOf(move, modes, from, ratesOf(setup), kAxes);
    return shape.length > 0.0 && shape.plainSpeed > 0.0 ? shape.length / shape.plainSpeed : 0.0;
}

void CycleTimer::start(const std::array<double, kAxes> &machine)
{
    flush();
    m_position = machine;
}

void CycleTimer::add(const Move &move, const ModalState &modes)
{
    if (move.kind == MoveKind::Dwell) {
        flush();
        m_plain += move.seconds;
        tell(move.line, move.tool, move.seconds);
        return;
    }
    // Most moves leave every axis past Z where it stands; their shape is worked out in X Y Z alone.
    std::uint64_t restMoves = 0;
    for (std::size_t a = 3; a < kAxes; ++a)
        restMoves |= std::bit_cast<std::uint64_t>(move.end[a]) ^ std::bit_cast<std::uint64_t>(m_position[a]);
    const std::size_t axes = restMoves == 0 ? 3 : kAxes;
    const Shape shape = shapeOf(move, modes, m_position, m_rates, axes);
    std::copy_n(shape.end.begin(), axes, m_position.begin());
    Segment s;
    s.line = move.line;
    s.tool = move.tool;
    if (shape.length <= 0.0) {
        // No motion: nothing to time, and the corner is between the moves on either side.
        if (m_count == 0) {
            tell(s.line, s.tool, 0.0);
            return;
        }
        s.maxEntry2 = std::numeric_limits<double>::infinity();
        push(s);
        return;
    }
    if (shape.cruise <= 0.0) {
        flush();
        ++m_untimed;
        tell(s.line, s.tool, 0.0);
        return;
    }
    m_plain += shape.length / shape.plainSpeed;
    const bool probe = move.kind == MoveKind::Probe;
    if (probe)
        flush();
    s.length = shape.length;
    s.cruise = shape.cruise;
    s.perAccel = shape.perAccel;
    s.gain = 2.0 * shape.accel * shape.length;
    if (m_moving && !m_lastExact) {
        // 1 + u_in·u_out is 1 − cos θ, θ between the incoming move reversed and the outgoing one.
        // A move that leaves the axes past Z standing has no direction along them: its corner is in
        // X Y Z alone. (The last move's directions along them are kept as 0 when it left them too.)
        double dot = 0.0;
        for (std::size_t a = 0; a < axes; ++a)
            dot += m_lastOut[a] * shape.in[a];
        const double sinHalf = std::sqrt(std::clamp((1.0 + dot) / 2.0, 0.0, 1.0));
        double junction2 = std::numeric_limits<double>::infinity();
        if (sinHalf < 1.0 - 1e-12)
            junction2 = std::min(m_lastAccel, shape.accel) * kDeviation * sinHalf / (1.0 - sinHalf);
        s.maxEntry2 = std::min({junction2, m_lastCruise * m_lastCruise, s.cruise * s.cruise});
    }
    push(s);
    m_moving = true;
    std::copy_n(shape.out.begin(), axes, m_lastOut.begin());
    if (axes == 3 && m_lastOutRest)
        std::fill(m_lastOut.begin() + 3, m_lastOut.end(), 0.0);
    m_lastOutRest = axes != 3;
    m_lastCruise = shape.cruise;
    m_lastAccel = shape.accel;
    m_lastExact = modes.pathMode == 610 || modes.pathMode == 611;
    if (probe)
        flush();
}

void CycleTimer::toolChange(qint64 line, int tool)
{
    flush();
    m_tool = tool;
    m_plain += m_toolChangeSeconds;
    tell(line, tool, m_toolChangeSeconds);
}

void CycleTimer::stop()
{
    flush();
}

void CycleTimer::finish()
{
    flush();
}

void CycleTimer::addLine(qint64 line, const ModalState &after, const QList<Move> &moves)
{
    if (after.tool != m_tool)
        toolChange(line, after.tool);
    for (const Move &move : moves)
        add(move, after);
}

// Adds a segment at the window's end and plans again: backward from the new end (assumed to stop)
// as far as an entry changes, then forward from there.
void CycleTimer::push(const Segment &segment)
{
    if (m_count == kWindow)
        emitOldest(m_ring[static_cast<std::size_t>(m_head + 1) & (kWindow - 1)].entry2);
    const auto at = [this](int i) -> Segment & { return m_ring[static_cast<std::size_t>(m_head + i) & (kWindow - 1)]; };
    const int last = m_count++;
    Segment &s = at(last);
    s = segment;
    if (last == 0) {
        // The first of an empty window starts at rest: the window empties only at a stop.
        s.entry2 = s.backward2 = 0.0;
        return;
    }
    // In speeds squared, a move can change its speed² by `gain` at most.
    s.backward2 = std::min(s.maxEntry2, s.gain);
    int from = last;
    for (int i = last - 1; i >= 1; --i) {
        Segment &b = at(i);
        const double allowed = std::min(b.maxEntry2, at(i + 1).backward2 + b.gain);
        if (allowed == b.backward2)
            break;
        b.backward2 = allowed;
        from = i;
    }
    for (int i = from; i <= last; ++i) {
        const Segment &a = at(i - 1);
        Segment &b = at(i);
        b.entry2 = std::min(b.backward2, a.entry2 + a.gain);
    }
}

void CycleTimer::emitOldest(double exit2)
{
    Segment &s = m_ring[static_cast<std::size_t>(m_head)];
    m_head = (m_head + 1) & (kWindow - 1);
    --m_count;
    tell(s.line, s.tool, profileSeconds(s.length, std::sqrt(s.entry2), std::sqrt(exit2), s.cruise, s.perAccel));
    if (m_count > 0) {
        // The next one's entry is now as this one left it.
        Segment &next = m_ring[static_cast<std::size_t>(m_head)];
        next.backward2 = next.entry2;
    }
}

void CycleTimer::flush()
{
    while (m_count > 0)
        emitOldest(m_count > 1 ? m_ring[static_cast<std::size_t>(m_head + 1) & (kWindow - 1)].entry2 : 0.0);
    m_moving = false;
}

void CycleTimer::tell(qint64 line, int tool, double seconds)
{
    m_total += seconds;
    if (timed)
        timed(line, tool, seconds);
}

} // namespace interp
