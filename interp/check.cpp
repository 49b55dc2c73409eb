#include "check.h"

#include "cycletime.h"

#include <QLocale>

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <deque>
#include <limits>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>
#include <system_error>
#include <thread>

namespace interp {

namespace {

// The kinds of fault the check finds beside the interpreter, each told a few times and then
// counted, so a wrong offset does not bury the list under a finding on every line.
enum Kind { Travel, FeedAbove, SpindleAbove, ArcOff, NDigits, Compensation, ToolChange, Interpreter_, KindCount };
constexpr int kToldOfAKind = 50;

const char *kindText(int kind)
{
    switch (kind) {
    case Travel: return "past the travel";
    case FeedAbove: return "above the machine's feed";
    case SpindleAbove: return "above the spindle's top speed";
    case ArcOff: return "arcs off their circles";
    case NDigits: return "N words with too many digits";
    default: return "like it";
    }
}

QString length(double mm)
{
    return QLocale::c().toString(mm, 'f', 1) + QStringLiteral(" mm");
}

QString counted(qint64 n, const char *one, const char *many)
{
    return QLocale::c().toString(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

QString mm(double v)
{
    return QString::number(v, 'f', 3);
}

} // namespace

// The time of the run, as the machine's planner would take it, by tool and by line, and the checks
// of each move (its travel, feed, arc, extents and length). They run on a thread of their own, fed
// in batches of what they need (the moves with their modes and offsets, the tool changes, the
// stops), so the pass does not wait for their arithmetic; what they found is read once that thread
// has ended. A program that fills less than one batch is planned on the pass's thread.
struct Checker::Item
{
    enum Kind : quint8 { Moved, ToolChanged, Stopped, Started };
    Kind kind = Moved;
    bool constantSpeed = false; // the modes the move was made under
    bool nested = false;        // its line runs inside a call or a loop
    int feedMode = 940;
    int pathMode = 640;
    double speed = 0.0;
    Told::Key key;                      // where its findings stand among the pass's
    std::array<double, kAxes> offsets; // of its line
    Move move; // for a tool change, its line and tool; for the start, where the tool stands
};

struct Checker::Planner
{
    struct ToolTime
    {
        int tool = 0;
        double seconds = 0.0;
    };
    static constexpr std::size_t kBatch = 2048, kBatches = 4;
    struct Batch
    {
        std::vector<Item> items = std::vector<Item>(kBatch); // made once, filled again and again
        std::size_t count = 0;
    };

    Planner(const MachineSetup &machine, Checker &owner) : timer(machine), checker(owner)
    {
        timer.timed = [this](qint64 line, int tool, double seconds) { told(line, tool, seconds); };
    }
    ~Planner() { close(); }

    // On the pass's thread: the next item, its kind set, for the rest to be filled in.
    Item &next(Item::Kind kind)
    {
        if (feeding.count == kBatch)
            hand();
        Item &item = feeding.items[feeding.count++];
        item.kind = kind;
        return item;
    }
    void hand();
    void close();

    // On the planner's thread, or on the pass's when it has none.
    void run();
    void plan(const Batch &batch);
    void told(qint64 line, int tool, double seconds);

    CycleTimer timer;
    Checker &checker;     // whose moves' checks the planner makes too
    Told movesTold;       // ... and what they found
    bool started = false; // where the tool stands at the start is told
    int fedTool = 0;      // the tool in the spindle as the items fed so far leave it

    Batch feeding;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> handed; // batches the planner has still to take
    std::vector<Batch> spare; // batches it is done with
    std::size_t batches = 1;  // made so far
    bool closing = false;
    bool closed = false;
    std::thread thread;

    // What the planner has found: the clock, each line's time (the checker's list, kept when
    // asked for), each tool's seconds in the order first told.
    ModalState modes;
    qint64 lastLine = -1; // the line last told a time
    double clock = 0.0;
    std::vector<float> *lineTimes = nullptr;
    std::vector<ToolTime> tools;
    std::size_t lastTool = 0; // where the one last told stands
};

// The batch being fed goes to the planner, whose thread starts with the first; the next one is a
// batch it is done with, or a new one while fewer than kBatches are made, else the pass waits.
void Checker::Planner::hand()
{
    std::unique_lock lock(mutex);
    if (!thread.joinable()) {
        try {
            thread = std::thread([this] { run(); });
        } catch (const std::system_error &) {
            // No thread to be had: this batch is planned here, and the next one tries again.
            lock.unlock();
            plan(feeding);
            feeding.count = 0;
            return;
        }
    }
    handed.push_back(std::move(feeding));
    changed.notify_all();
    if (spare.empty() && batches >= kBatches)
        changed.wait(lock, [this] { return !spare.empty(); });
    if (spare.empty()) {
        ++batches;
        feeding = Batch();
    } else {
        feeding = std::move(spare.back());
        spare.pop_back();
    }
    feeding.count = 0;
}

// Everything fed is planned and the planner's thread has ended; nothing more may be fed.
void Checker::Planner::close()
{
    if (closed)
        return;
    closed = true;
    if (!thread.joinable()) {
        plan(feeding);
        timer.finish();
        return;
    }
    {
        const std::lock_guard lock(mutex);
        handed.push_back(std::move(feeding));
        closing = true;
    }
    changed.notify_all();
    thread.join();
}

void Checker::Planner::run()
{
    Batch batch;
    bool holding = false;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (holding) {
                spare.push_back(std::move(batch));
                changed.notify_all();
            }
            changed.wait(lock, [this] { return !handed.empty() || closing; });
            if (handed.empty())
                break;
            batch = std::move(handed.front());
            handed.pop_front();
            holding = true;
        }
        plan(batch);
    }
    timer.finish();
}

void Checker::Planner::plan(const Batch &batch)
{
    for (std::size_t i = 0; i < batch.count; ++i) {
        const Item &item = batch.items[i];
        switch (item.kind) {
        case Item::Moved:
            modes.feedMode = item.feedMode;
            modes.pathMode = item.pathMode;
            modes.speed = item.speed;
            modes.constantSpeed = item.constantSpeed;
            timer.add(item.move, modes);
            checker.checkMove(item, movesTold);
            break;
        case Item::Started:
            checker.m_machinePosition = item.move.end;
            break;
        case Item::ToolChanged:
            timer.toolChange(item.move.line, item.move.tool);
            break;
        case Item::Stopped:
            timer.stop();
            break;
        }
    }
}

void Checker::Planner::told(qint64 line, int tool, double seconds)
{
    clock += seconds;
    if (lastTool >= tools.size() || tools[lastTool].tool != tool) {
        const auto known = std::find_if(tools.begin(), tools.end(), [tool](const ToolTime &t) { return t.tool == tool; });
        lastTool = static_cast<std::size_t>(known - tools.begin());
        if (known == tools.end())
            tools.push_back({tool, 0.0});
    }
    tools[lastTool].seconds += seconds;
    if (lineTimes && line >= 0 && line < static_cast<qint64>(lineTimes->size())) {
        float &at = (*lineTimes)[static_cast<std::size_t>(line)];
        // A line's time is where its first run ends; a line run again later keeps it.
        if (line == lastLine || at < 0.0f)
            at = static_cast<float>(clock);
    }
    lastLine = line;
}

Checker::Checker(const Setup &setup, const MachineSetup &machine)
    : m_setup(setup), m_machine(machine), m_planner(std::make_unique<Planner>(machine, *this))
{
    m_summary.min.fill(0.0);
    m_summary.max.fill(0.0);
    m_low.fill(std::numeric_limits<double>::infinity());
    m_high.fill(-std::numeric_limits<double>::infinity());
    for (std::size_t a = 0; a < kAxes; ++a) {
        const AxisSetup &axis = machine.axes[a];
        m_limitedAxes |= quint32(axis.limited) << a;
        m_travelLow[a] = axis.limited ? axis.min - 1e-9 : -std::numeric_limits<double>::infinity();
        m_travelHigh[a] = axis.limited ? axis.max + 1e-9 : std::numeric_limits<double>::infinity();
        m_zeroOffTravel |= a >= 3 && (0.0 > m_travelHigh[a] || 0.0 < m_travelLow[a]);
    }
}

CheckSummary::Tool &Checker::toolOf(int tool)
{
    if (m_lastTool && m_lastTool->tool == tool)
        return *m_lastTool;
    const auto found = m_toolIndex.constFind(tool);
    if (found == m_toolIndex.constEnd()) {
        m_toolIndex.insert(tool, static_cast<int>(m_summary.tools.size()));
        m_summary.tools.append({tool, 0.0, 0.0, 0.0});
        m_lastTool = &m_summary.tools.last();
    } else {
        m_lastTool = &m_summary.tools[*found];
    }
    return *m_lastTool;
}

// The planner's thread uses the checker's members: it ends before they go.
Checker::~Checker()
{
    m_planner->close();
}

void Checker::keepLineTimes(qint64 lines)
{
    m_lineTimes.assign(static_cast<std::size_t>(lines + 1), -1.0f);
    m_lineTimes[0] = 0.0f;
    m_planner->lineTimes = &m_lineTimes;
}

void Checker::say(qint64 line, Severity severity, const QString &reason, int kind, qint64 phase)
{
    m_told.say({m_step, phase}, m_nested, line, severity, reason, kind);
}

// Each kind is told by one thread alone, so its count is that thread's.
void Checker::Told::say(Key key, bool nested, qint64 line, Severity severity, const QString &reason, int kind)
{
    // Inside a loop or a call a line comes round again: its finding is told the first time (the
    // interpreter does the same for its own).
    if (nested && kind != Interpreter_) {
        const QString seen = QString::number(line) + QLatin1Char(' ') + reason;
        if (saidNested.contains(seen))
            return;
        saidNested.insert(seen);
    }
    if (kind >= 0 && kind != Interpreter_) {
        if (said[static_cast<std::size_t>(kind)] >= kToldOfAKind) {
            if (untold[static_cast<std::size_t>(kind)]++ == 0)
                untoldFrom[static_cast<std::size_t>(kind)] = {line, severity};
            return;
        }
        ++said[static_cast<std::size_t>(kind)];
    }
    findings.append({line, reason, severity});
    keys.push_back(key);
}

void Checker::before(const Interpreter &interpreter)
{
    const RunState &run = interpreter.state();
    ++m_step;
    m_spindleBefore = run.modal.spindle;
    m_compensationBefore = run.modal.compensation;
    m_line = run.line;
    m_programLine = run.file.isEmpty();
    m_nested = !run.frames.isEmpty();
    if (!m_fedMove)
        m_startPosition = run.modal.machine;
    if (!m_planner->started) {
        m_planner->timer.start(run.modal.machine);
        m_planner->started = true;
    }
}

void Checker::after(const Interpreter &interpreter, const QList<Move> &moves, const QList<Finding> &findings)
{
    for (const Finding &f : findings)
        say(f.line, f.severity, f.reason, Interpreter_);
    const ModalState &now = interpreter.state().modal;
    const Block &block = interpreter.block();
    const bool blockRead = !block.empty && block.error.isEmpty();
    const qint64 line = moves.isEmpty() ? m_line : moves.first().line;

    if (blockRead && m_programLine) {
        if (m_machine.nDigits > 0 && block.lineNumberDigits > m_machine.nDigits)
            say(line, Severity::Error,
                QStringLiteral("the N word has %1 digits; the machine takes at most %2").arg(block.lineNumberDigits).arg(m_machine.nDigits), NDigits);
    }
    if (blockRead) {
        bool toolChange = false;
        for (const double m : block.m)
            toolChange |= std::lround(m * 10) == 60;
        if (toolChange && m_spindleBefore != 5)
            say(line, Severity::Warning,
                QStringLiteral("a tool change with the spindle turning (M%1); stop it with M5 first").arg(m_spindleBefore), ToolChange);
        if (block.has('S') && m_machine.spindleMax > 0.0 && now.speed > m_machine.spindleMax)
            say(line, Severity::Error,
                QStringLiteral("S%1 is above the spindle's top speed of %2 rpm").arg(now.speed).arg(m_machine.spindleMax), SpindleAbove);
    }
    if (m_compensationBefore == 400 && now.compensation != 400) {
        const QString code = QStringLiteral("G%1").arg(now.compensation / 10) + (now.compensation % 10 ? QStringLiteral(".1") : QString());
        m_compensationStarting = true;
        double radius = 0.0;
        if (now.compensation % 10 == 0) {
            // G41/G42 take the tool's diameter from the tool table (the D word names the tool).
            const int tool = blockRead && block.has('D') ? static_cast<int>(std::lround(*block.word('D'))) : now.tool;
            radius = m_setup.tools.value(tool).diameter / 2.0;
            if (m_setup.tools.isEmpty())
                say(line, Severity::Warning,
                    QStringLiteral("%1 takes tool %2's diameter from the tool table, and there is none to check it against").arg(code).arg(tool),
                    Compensation);
            else if (radius <= 0.0)
                say(line, Severity::Error,
                    QStringLiteral("%1 is started with no offset: tool %2 has no diameter in the tool table").arg(code).arg(tool), Compensation);
        } else if (blockRead && (!block.has('D') || *block.word('D') <= 0.0)) {
            say(line, Severity::Error, QStringLiteral("%1 is started with no offset: it needs the tool's diameter in a D word").arg(code), Compensation);
        }
    }

    // The line for the planner, as CycleTimer::addLine takes it (a tool change first, then the
    // moves), with what the moves' checks need.
    Planner &planner = *m_planner;
    if (now.tool != planner.fedTool) {
        Item &item = planner.next(Item::ToolChanged);
        item.move.line = line;
        item.move.tool = now.tool;
        planner.fedTool = now.tool;
    }
    if (!moves.isEmpty() && !m_fedMove) {
        planner.next(Item::Started).move.end = m_startPosition;
        m_fedMove = true;
    }
    const std::array<double, kAxes> offsets = moves.isEmpty() ? std::array<double, kAxes>{} : offsetsOf(now);
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const Move &move = moves[i];
        Item &item = planner.next(Item::Moved);
        item.move = move;
        item.feedMode = now.feedMode;
        item.pathMode = now.pathMode;
        item.speed = now.speed;
        item.constantSpeed = now.constantSpeed;
        item.nested = m_nested;
        item.key = {m_step, 1 + 2 * i};
        item.offsets = offsets;
        if (m_compensationStarting && move.kind != MoveKind::Dwell) {
            // The Fanuc family refuses an arc as the move that starts compensation; LinuxCNC takes
            // it. (Told after that move's own findings.)
            if (move.kind == MoveKind::Arc)
                say(move.line, m_setup.dialect == Dialect::Fanuc ? Severity::Error : Severity::Warning,
                    QStringLiteral("cutter compensation is started on an arc; start it on a straight move"), Compensation, 2 + 2 * i);
            m_compensationStarting = false;
        }
    }
    if (blockRead) {
        for (const double m : block.m) {
            const long code = std::lround(m * 10);
            if (code == 0 || code == 10 || code == 600) // the machine waits for the operator
                planner.next(Item::Stopped);
        }
    }
}

void Checker::checkMove(const Item &item, Told &told)
{
    const Move &move = item.move;
    const std::array<double, kAxes> &offsets = item.offsets;
    const auto say = [&](qint64 line, Severity severity, const QString &reason, int kind) {
        told.say(item.key, item.nested, line, severity, reason, kind);
    };
    ++m_summary.moves;
    // Most programs move X, Y and Z alone. While every other axis stands at 0 in both coordinates
    // (and 0 is within its travel), only those three are worked out, and 0 is taken into the
    // others' extents at the end.
    std::uint64_t restBits = m_zeroOffTravel;
    for (std::size_t a = 3; a < kAxes; ++a)
        restBits |= std::bit_cast<std::uint64_t>(move.end[a]) | std::bit_cast<std::uint64_t>(offsets[a])
                    | std::bit_cast<std::uint64_t>(m_machinePosition[a]);
    const std::size_t axes = restBits == 0 ? 3 : kAxes;
    m_restAtZero |= axes == 3 && move.kind != MoveKind::Dwell;
    std::array<double, kAxes> start, low, high; // in program coordinates of this move's frame, [0, axes)
    for (std::size_t a = 0; a < axes; ++a) {
        start[a] = m_machinePosition[a] - offsets[a];
        low[a] = std::min(start[a], move.end[a]);
        high[a] = std::max(start[a], move.end[a]);
    }

    double length = 0.0;
    if (move.kind == MoveKind::Arc) {
        const PlaneAxes p = planeAxes(move.plane);
        const double ca = move.centre[static_cast<std::size_t>(p.first)], cb = move.centre[static_cast<std::size_t>(p.second)];
        const double sa = start[p.first] - ca, sb = start[p.second] - cb;
        const double ea = move.end[p.first] - ca, eb = move.end[p.second] - cb;
        const double r1 = std::sqrt(sa * sa + sb * sb), r2 = std::sqrt(ea * ea + eb * eb);
        // Past the interpreter's own limit the line is refused before it gets here; within it the
        // control runs the arc as a spiral, which the machinist is told of.
        if (std::fabs(r1 - r2) > m_machine.arcTolerance)
            say(move.line, Severity::Warning,
                QStringLiteral("the arc's end lies %1 mm off its circle (radius %2 mm at the start, %3 mm at the end)")
                    .arg(QString::number(std::fabs(r1 - r2), 'f', 5), QString::number(r1, 'f', 5), QString::number(r2, 'f', 5)),
                ArcOff);
        const double sweep = arcSweep(start.data(), move.end.data(), move.centre.data(), move.plane, move.turn);
        // Where the arc reaches past its end points: each quarter of the circle it passes.
        const double a0 = std::atan2(sb, sa);
        static constexpr double kCos[4] = {1, 0, -1, 0}, kSin[4] = {0, 1, 0, -1};
        for (int q = 0; q < 4; ++q) {
            const double angle = q * std::numbers::pi / 2;
            const double along = std::fmod((sweep > 0 ? angle - a0 : a0 - angle) + 4 * std::numbers::pi, 2 * std::numbers::pi);
            if (along <= std::fabs(sweep)) {
                // An arc off its circle spirals from the one radius to the other.
                const double r = r1 + (r2 - r1) * along / std::fabs(sweep);
                const double pa = ca + r * kCos[q], pb = cb + r * kSin[q];
                low[p.first] = std::min(low[p.first], pa);
                high[p.first] = std::max(high[p.first], pa);
                low[p.second] = std::min(low[p.second], pb);
                high[p.second] = std::max(high[p.second], pb);
            }
        }
        const double around = std::fabs(sweep) * (r1 + r2) / 2, rise = move.end[p.normal] - start[p.normal];
        length = std::sqrt(around * around + rise * rise);
    } else if (move.kind != MoveKind::Dwell) {
        length = std::sqrt((move.end[0] - start[0]) * (move.end[0] - start[0]) + (move.end[1] - start[1]) * (move.end[1] - start[1])
                           + (move.end[2] - start[2]) * (move.end[2] - start[2]));
    }

    if (move.kind != MoveKind::Dwell) {
        // The extents, and whether any axis leaves its travel in machine coordinates (the bounds of
        // an axis with no travel are infinite), in one pass; which axis, and by how much, only then.
        bool outside = false;
        for (std::size_t a = 0; a < axes; ++a) {
            m_low[a] = std::min(m_low[a], low[a]);
            m_high[a] = std::max(m_high[a], high[a]);
            outside |= (high[a] + offsets[a] > m_travelHigh[a]) | (low[a] + offsets[a] < m_travelLow[a]);
        }
        if (outside && axes == 3) {
            std::fill(low.begin() + 3, low.end(), 0.0);
            std::fill(high.begin() + 3, high.end(), 0.0);
        }
        for (quint32 limited = outside ? m_limitedAxes : 0; limited; limited &= limited - 1) {
            const int a = std::countr_zero(limited);
            const AxisSetup &axis = m_machine.axes[static_cast<std::size_t>(a)];
            const double lowMachine = low[a] + offsets[a], highMachine = high[a] + offsets[a];
            const bool over = highMachine > m_travelHigh[a], under = lowMachine < m_travelLow[a];
            if (over || under)
                say(move.line, Severity::Error,
                    QStringLiteral("%1 goes to %2 in machine coordinates, %3 past its travel (%4 to %5)")
                        .arg(QLatin1Char(axisLetter(a)))
                        .arg(mm(over ? highMachine : lowMachine), mm(over ? highMachine - axis.max : axis.min - lowMachine), mm(axis.min),
                             mm(axis.max)),
                    Travel);
        }
    }

    const bool cutting = move.kind == MoveKind::Feed || move.kind == MoveKind::Arc || move.kind == MoveKind::Probe;
    if (cutting && item.feedMode == 940 && length > 0.0) {
        // Each axis's share of the feed against its own maximum.
        const double perLength = 1.0 / length;
        for (std::size_t a = 0; a < 3; ++a) {
            const double most = m_machine.axes[a].maxFeed;
            if (most <= 0.0)
                continue;
            const double share = move.kind == MoveKind::Arc ? 1.0 : std::fabs(move.end[a] - start[a]) * perLength;
            if (move.kind == MoveKind::Arc && a == static_cast<std::size_t>(planeAxes(move.plane).normal))
                continue;
            if (move.feed * share > most + 1e-9) {
                say(move.line, Severity::Error,
                    QStringLiteral("the feed of %1 mm/min is above %2's maximum of %3 mm/min")
                        .arg(move.feed).arg(QLatin1Char(axisLetter(static_cast<int>(a)))).arg(most),
                    FeedAbove);
                break;
            }
        }
    }

    if (move.kind == MoveKind::Rapid) {
        m_summary.rapidLength += length;
        toolOf(move.tool).rapidLength += length;
    } else if (cutting) {
        m_summary.feedLength += length;
        toolOf(move.tool).feedLength += length;
    }
    for (std::size_t a = 0; a < axes; ++a)
        m_machinePosition[a] = move.end[a] + offsets[a];
}

void Checker::finish(qint64 lastLine, bool ranOut)
{
    Planner &planner = *m_planner;
    planner.close();
    m_summary.seconds = planner.timer.total();
    m_summary.plainSeconds = planner.timer.plainTotal();
    m_summary.untimedMoves = planner.timer.untimedMoves();
    // The tools in the order they were first told a time. Every move is told one, after its tool
    // was told its change, and in the order fed, so that is also the order their moves came in.
    QList<CheckSummary::Tool> tools;
    for (const Planner::ToolTime &told : planner.tools) {
        const auto found = m_toolIndex.constFind(told.tool);
        tools.append(found == m_toolIndex.constEnd() ? CheckSummary::Tool{told.tool, 0.0, 0.0, 0.0} : m_summary.tools[*found]);
        tools.last().seconds = told.seconds;
    }
    m_summary.tools = tools;
    m_lastTool = nullptr;
    // An axis counts once a move takes it off 0: then its lowest or its highest is not 0 (both stay
    // infinite while nothing moves).
    for (std::size_t a = 3; a < kAxes && m_restAtZero; ++a) {
        m_low[a] = std::min(m_low[a], 0.0);
        m_high[a] = std::max(m_high[a], 0.0);
    }
    for (std::size_t a = 0; a < kAxes; ++a) {
        if (m_low[a] <= m_high[a] && (m_low[a] != 0.0 || m_high[a] != 0.0)) {
            m_summary.axesUsed |= 1u << a;
            m_summary.min[a] = m_low[a];
            m_summary.max[a] = m_high[a];
        }
    }
    // The findings of both threads in the order they were told, the end's, then the kinds told
    // only in part, counted.
    const Told &own = m_told, &ofMoves = planner.movesTold;
    m_findings.clear();
    m_findings.reserve(own.findings.size() + ofMoves.findings.size() + KindCount + 1);
    for (std::size_t i = 0, j = 0; i < own.keys.size() || j < ofMoves.keys.size();) {
        const bool mine = j == ofMoves.keys.size() || (i < own.keys.size() && !(ofMoves.keys[j] < own.keys[i]));
        m_findings.append(mine ? own.findings[static_cast<qsizetype>(i++)] : ofMoves.findings[static_cast<qsizetype>(j++)]);
    }
    if (ranOut)
        m_findings.append({lastLine, QStringLiteral("the program has no end (M2 or M30)"), Severity::Error});
    for (const Finding &f : std::as_const(m_findings))
        (f.severity == Severity::Error ? m_summary.errors : m_summary.warnings) += 1;
    for (std::size_t kind = 0; kind < KindCount; ++kind) {
        // Each kind is told by one thread only.
        const Told &by = own.untold[kind] > 0 ? own : ofMoves;
        const qint64 untold = by.untold[kind];
        if (untold == 0)
            continue;
        const auto [line, severity] = by.untoldFrom[kind];
        (severity == Severity::Error ? m_summary.errors : m_summary.warnings) += untold;
        m_findings.append({line, QStringLiteral("%1 more findings %2 from this line on, not listed one by one")
                                     .arg(QLocale::c().toString(untold), QLatin1String(kindText(static_cast<int>(kind)))),
                           severity});
    }
    std::stable_sort(m_findings.begin(), m_findings.end(), [](const Finding &a, const Finding &b) { return a.line < b.line; });
    if (!m_lineTimes.empty()) {
        for (std::size_t i = 1; i < m_lineTimes.size(); ++i)
            if (m_lineTimes[i] < 0.0f)
                m_lineTimes[i] = m_lineTimes[i - 1];
    }
}

CheckRun checkProgram(LineSource &program, const Setup &setup, const MachineSetup &machine, bool keepLineTimes,
                      const std::function<bool(qint64)> &progress)
{
    Setup own = setup;
    Interpreter interpreter(own);
    if (machine.lathe) {
        RunState start = interpreter.state();
        start.modal.diameter = true;
        interpreter.restore(start);
    }
    Checker checker(own, machine);
    CheckRun run;
    run.lines = program.lineCount();
    if (keepLineTimes)
        checker.keepLineTimes(run.lines);
    QList<Move> moves;
    QList<Finding> findings;
    qint64 steps = 0;
    qint64 last = 0;
    bool ranOut = false;
    for (;;) {
        moves.clear();
        findings.clear();
        checker.before(interpreter);
        const RunState &state = interpreter.state();
        ranOut = state.file.isEmpty() && state.frames.isEmpty() && state.line > run.lines;
        last = std::max(last, std::min(state.line, run.lines));
        const bool more = interpreter.step(program, moves, findings);
        checker.after(interpreter, moves, findings);
        if (!more)
            break;
        if (progress && (++steps & 0x3fff) == 0 && !progress(interpreter.state().line)) {
            run.cancelled = true;
            break;
        }
    }
    checker.finish(std::max<qint64>(last, 1), ranOut && !run.cancelled);
    run.findings = checker.findings();
    run.summary = checker.summary();
    run.lineTimes = checker.takeLineTimes();
    return run;
}

QString clockText(double seconds)
{
    const qint64 s = std::llround(std::max(0.0, seconds));
    const qint64 h = s / 3600, m = s / 60 % 60, r = s % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(r, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(r, 2, 10, QLatin1Char('0'));
}

QStringList summaryLines(const QString &name, const CheckRun &run)
{
    const CheckSummary &s = run.summary;
    QStringList out;
    out << QStringLiteral("%1: %2, %3; %4, %5").arg(name, counted(s.errors, "error", "errors"), counted(s.warnings, "warning", "warnings"),
                                                    counted(run.lines, "line", "lines"), counted(s.moves, "move", "moves"));
    QStringList extents;
    for (int a = 0; a < kAxes; ++a) {
        if (s.axesUsed & (1u << a))
            extents << QStringLiteral("%1 %2 to %3").arg(QLatin1Char(axisLetter(a))).arg(s.min[a], 0, 'f', 3).arg(s.max[a], 0, 'f', 3);
    }
    out << QStringLiteral("extents: ") + (extents.isEmpty() ? QStringLiteral("no moves") : extents.join(QStringLiteral(", ")));
    out << QStringLiteral("rapid %1, feed %2").arg(length(s.rapidLength), length(s.feedLength));
    QString time = QStringLiteral("time: %1 (length over feed alone: %2)").arg(clockText(s.seconds), clockText(s.plainSeconds));
    if (s.untimedMoves > 0)
        time += QStringLiteral("; %1 with no speed (F0, or a feed per turn with no S) not timed").arg(counted(s.untimedMoves, "move", "moves"));
    out << time;
    for (const CheckSummary::Tool &tool : s.tools)
        out << QStringLiteral("  T%1: %2, feed %3").arg(tool.tool).arg(clockText(tool.seconds), length(tool.feedLength));
    return out;
}


} // namespace interp
