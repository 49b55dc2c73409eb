#include "cycletime.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace interp {

namespace {

constexpr double kTiny = 1e-9;      // mm (degrees): less than this is no motion
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The time of `length` from `entry` to `exit` on a trapezoid: up to `cruise` at `accel`, down again,
// or a triangle when the move is too short to reach it.
double profileSeconds(double length, double entry, double exit, double cruise, double accel)
{
    if (length <= 0.0)
        return 0.0;
    const double up = (cruise * cruise - entry * entry) / (2.0 * accel);
    const double down = (cruise * cruise - exit * exit) / (2.0 * accel);
    if (up + down <= length)
        return (cruise - entry) / accel + (cruise - exit) / accel + (length - up - down) / cruise;
    const double peak = std::max({std::sqrt((2.0 * accel * length + entry * entry + exit * exit) / 2.0), entry, exit});
    return (peak - entry) / accel + (peak - exit) / accel;
}

// The most |sin φ| reaches for φ from `from` over `span` (>= 0) radians.
double mostSine(double from, double span)
{
    if (span >= std::numbers::pi)
        return 1.0;
    const double half = std::numbers::pi / 2.0;
    const double k = std::ceil((from - half) / std::numbers::pi);
    if (half + k * std::numbers::pi <= from + span)
        return 1.0;
    return std::max(std::abs(std::sin(from)), std::abs(std::sin(from + span)));
}

struct PlaneAxes
{
    int first;
    int second;
    int normal;
};

PlaneAxes planeAxes(int plane)
{
    switch (plane) {
    case 18: return {2, 0, 1};
    case 19: return {1, 2, 0};
    default: return {0, 1, 2};
    }
}

double normOf(const std::array<double, kAxes> &v)
{
    double s = 0.0;
    for (const double x : v)
        s += x * x;
    return std::sqrt(s);
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
        r.rapid[a] = setup.rapidOf(i) / 60.0;
        r.maxFeed[a] = setup.axes[a].maxFeed / 60.0;
        r.accel[a] = setup.accelOf(i);
    }
    r.spindleMax = setup.spindleMax;
    return r;
}

std::array<double, kAxes> CycleTimer::machineEnd(const Move &move)
{
    std::array<double, kAxes> p = move.end;
    for (std::size_t a = 0; a < 3; ++a)
        p[a] += move.offset[a];
    p[2] += move.toolLength;
    return p;
}

CycleTimer::Shape CycleTimer::shapeOf(const Move &move, const ModalState &modes, const std::array<double, kAxes> &from,
                                      const Rates &rates)
{
    Shape shape;
    shape.end = machineEnd(move);
    std::array<double, kAxes> d{};
    for (std::size_t a = 0; a < kAxes; ++a)
        d[a] = shape.end[a] - from[a];

    // How far along each axis the move goes for each mm of its length, at most.
    std::array<double, kAxes> share{};
    bool arc = false;
    double radius = 0.0;
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
        const double rs = std::hypot(sp, sq), re = std::hypot(ep, eq);
        if (rs > kTiny && re > kTiny) {
            arc = true;
            const double startAngle = std::atan2(sq, sp), endAngle = std::atan2(eq, ep);
            const bool ccw = move.turn > 0;
            double sweep = ccw ? endAngle - startAngle : startAngle - endAngle;
            if (std::hypot(d[p], d[q]) <= kTiny)
                sweep = kTwoPi; // a full circle
            else
                sweep = std::fmod(std::fmod(sweep, kTwoPi) + kTwoPi, kTwoPi);
            sweep += kTwoPi * (std::abs(move.turn) - 1);
            radius = (rs + re) / 2.0;
            const double planar = radius * sweep;
            shape.length = std::hypot(planar, d[n]); // a helix's rise along the normal

            if (shape.length <= kTiny)
                return shape;
            const double along = planar / shape.length;
            // The tangent at angle φ points along (−sin φ, cos φ) (counter-clockwise).
            const double lowest = ccw ? startAngle : endAngle;
            share[p] = along * mostSine(lowest, std::min(sweep, kTwoPi));
            share[q] = along * mostSine(lowest + std::numbers::pi / 2.0, std::min(sweep, kTwoPi));
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (a != p && a != q)
                    share[a] = std::abs(d[a]) / shape.length;
            }
            const double turn = ccw ? 1.0 : -1.0;
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (a != p && a != q)
                    shape.in[a] = shape.out[a] = d[a] / shape.length;
            }
            shape.in[p] = -turn * along * sq / rs;
            shape.in[q] = turn * along * sp / rs;
            shape.out[p] = -turn * along * eq / re;
            shape.out[q] = turn * along * ep / re;
        }
    }
    if (!arc) {
        const double xyz = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double uvw = std::sqrt(d[6] * d[6] + d[7] * d[7] + d[8] * d[8]);
        const double abc = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
        shape.length = xyz > kTiny ? xyz : uvw > kTiny ? uvw : abc;
        if (shape.length <= kTiny) {
            shape.length = 0.0;
            return shape;
        }
        for (std::size_t a = 0; a < kAxes; ++a)
            share[a] = std::abs(d[a]) / shape.length;
        const double norm = normOf(d);
        for (std::size_t a = 0; a < kAxes; ++a)
            shape.in[a] = shape.out[a] = d[a] / norm;
    }

    // The fastest no axis's rapid rate (top feed, acceleration) is exceeded at.
    double rapid = std::numeric_limits<double>::infinity();
    double feedCap = rapid;
    double accel = rapid;
    for (std::size_t a = 0; a < kAxes; ++a) {
        if (share[a] <= kTiny)
            continue;
        rapid = std::min(rapid, rates.rapid[a] / share[a]);
        if (rates.maxFeed[a] > 0.0)
            feedCap = std::min(feedCap, rates.maxFeed[a] / share[a]);
        accel = std::min(accel, rates.accel[a] / share[a]);
    }
    shape.accel = accel;
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
    const Shape shape = shapeOf(move, modes, from, ratesOf(setup));
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
    const Shape shape = shapeOf(move, modes, m_position, m_rates);
    m_position = shape.end;
    Segment s;
    s.line = move.line;
    s.tool = move.tool;
    if (shape.length <= 0.0) {
        // No motion: nothing to time, and the corner is between the moves on either side.
        if (m_count == 0) {
            tell(s.line, s.tool, 0.0);
            return;
        }
        s.maxEntry = std::numeric_limits<double>::infinity();
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
    s.accel = shape.accel;
    if (m_moving && !m_lastExact) {
        // 1 + u_in·u_out is 1 − cos θ, θ between the incoming move reversed and the outgoing one.
        double dot = 0.0;
        for (std::size_t a = 0; a < kAxes; ++a)
            dot += m_lastOut[a] * shape.in[a];
        const double sinHalf = std::sqrt(std::clamp((1.0 + dot) / 2.0, 0.0, 1.0));
        double junction = std::numeric_limits<double>::infinity();
        if (sinHalf < 1.0 - 1e-12)
            junction = std::sqrt(std::min(m_lastAccel, shape.accel) * kDeviation * sinHalf / (1.0 - sinHalf));
        s.maxEntry = std::min({junction, m_lastCruise, s.cruise});
    }
    push(s);
    m_moving = true;
    m_lastOut = shape.out;
    m_lastCruise = shape.cruise;
    m_lastAccel = shape.accel;
    m_lastExact = modes.pathMode == 610 || modes.pathMode == 611;
    if (probe)
        flush();
}

void CycleTimer::toolChange(qint64 line, int tool)
{
    flush();
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

void CycleTimer::addLine(qint64 line, const ModalState &before, const ModalState &after, const QList<Move> &moves)
{
    if (after.tool != before.tool)
        toolChange(line, after.tool);
    for (const Move &move : moves)
        add(move, after);
}

// Adds a segment at the window's end and plans again: backward from the new end (assumed to stop)
// as far as an entry changes, then forward from there.
void CycleTimer::push(const Segment &segment)
{
    if (m_count == kWindow)
        emitOldest(m_ring[static_cast<std::size_t>((m_head + 1) % kWindow)].entry);
    const auto at = [this](int i) -> Segment & { return m_ring[static_cast<std::size_t>((m_head + i) % kWindow)]; };
    const int last = m_count++;
    Segment &s = at(last);
    s = segment;
    if (last == 0) {
        // The first of an empty window starts at rest: the window empties only at a stop.
        s.entry = s.backward = 0.0;
        return;
    }
    s.backward = std::min(s.maxEntry, std::sqrt(2.0 * s.accel * s.length));
    int from = last;
    for (int i = last - 1; i >= 1; --i) {
        Segment &b = at(i);
        const double exit = at(i + 1).backward;
        const double allowed = std::min(b.maxEntry, std::sqrt(exit * exit + 2.0 * b.accel * b.length));
        if (allowed == b.backward)
            break;
        b.backward = allowed;
        from = i;
    }
    for (int i = from; i <= last; ++i) {
        const Segment &a = at(i - 1);
        Segment &b = at(i);
        b.entry = std::min(b.backward, std::sqrt(a.entry * a.entry + 2.0 * a.accel * a.length));
    }
}

void CycleTimer::emitOldest(double exit)
{
    Segment &s = m_ring[static_cast<std::size_t>(m_head)];
    m_head = (m_head + 1) % kWindow;
    --m_count;
    tell(s.line, s.tool, profileSeconds(s.length, s.entry, exit, s.cruise, s.accel));
    if (m_count > 0) {
        // The next one's entry is now as this one left it.
        Segment &next = m_ring[static_cast<std::size_t>(m_head)];
        next.backward = next.entry;
    }
}

void CycleTimer::flush()
{
    while (m_count > 0)
        emitOldest(m_count > 1 ? m_ring[static_cast<std::size_t>((m_head + 1) % kWindow)].entry : 0.0);
    m_moving = false;
}

void CycleTimer::tell(qint64 line, int tool, double seconds)
{
    m_total += seconds;
    if (timed)
        timed(line, tool, seconds);
}

} // namespace interp
