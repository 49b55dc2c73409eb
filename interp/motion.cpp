#include "motion.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>

namespace interp {

namespace {

constexpr double kMmPerInch = 25.4;
// How far an arc's end may lie off its circle, in millimetres.
constexpr double kArcTolerance = 0.05;
constexpr char kAxisLetters[kAxes + 1] = "XYZABCUVW";

bool isLinear(std::size_t axis)
{
    return axis < 3 || axis >= 6;
}

// A code's number in tenths: G90.1 is 901.
int tenths(double value)
{
    return static_cast<int>(std::lround(value * 10.0));
}

QString codeName(char letter, int code)
{
    return code % 10 ? QStringLiteral("%1%2.%3").arg(QLatin1Char(letter)).arg(code / 10).arg(code % 10)
                     : QStringLiteral("%1%2").arg(QLatin1Char(letter)).arg(code / 10);
}

// The axes of a plane given as its code in tenths (170, 180, 190).
PlaneAxes axesOf(int plane)
{
    return planeAxes(plane / 10);
}

QString decimal(double value)
{
    QString text = QString::number(value, 'f', 4);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// The modal groups of G codes (tenths), for telling two codes of one group on a line.
int groupOfG(int code)
{
    switch (code) {
    case 0: case 10: case 20: case 30: case 330: case 331: case 382: case 383: case 384: case 385: case 730: case 760:
    case 800: case 810: case 820: case 830: case 840: case 850: case 860: case 870: case 880: case 890:
    case 50: case 51: case 52:
        return 1;
    case 170: case 180: case 190: return 2;
    case 900: case 910: return 3;
    case 901: case 911: return 4;
    case 930: case 940: case 950: return 5;
    case 200: case 210: return 6;
    case 400: case 410: case 411: case 420: case 421: return 7;
    case 430: case 431: case 432: case 490: return 8;
    case 980: case 990: return 10;
    case 540: case 550: case 560: case 570: case 580: case 590: case 591: case 592: case 593: return 12;
    case 610: case 611: case 640: return 13;
    case 960: case 970: return 14;
    case 70: case 80: return 15;
    case 40: case 100: case 280: case 281: case 300: case 301: case 520: case 530: case 920: case 921: case 922: case 923: return 0;
    default: return -1;
    }
}

int groupOfM(int code)
{
    switch (code) {
    case 0: case 10: case 20: case 300: case 600: return 4;
    case 60: case 610: return 6;
    case 30: case 40: case 50: return 7;
    case 480: case 490: case 500: case 510: case 520: case 530: return 9;
    default: return -1; // coolant (M7 and M8 may stand together) and the rest
    }
}

// The codes GRBL knows (tenths); every other is a finding there.
bool grblKnows(char letter, int code)
{
    static const int g[] = {0, 10, 20, 30, 40, 100, 170, 180, 190, 200, 210, 280, 281, 300, 301, 382, 383, 384, 385,
                            400, 431, 490, 530, 540, 550, 560, 570, 580, 590, 610, 800, 900, 910, 911, 920, 921, 930, 940};
    static const int m[] = {0, 10, 20, 300, 30, 40, 50, 70, 80, 90, 560};
    if (letter == 'G')
        return std::find(std::begin(g), std::end(g), code) != std::end(g);
    return std::find(std::begin(m), std::end(m), code) != std::end(m);
}

bool isCycle(int motion)
{
    return motion == 730 || (motion >= 810 && motion <= 890);
}

} // namespace

Interpreter::Interpreter(Setup setup) : m_setup(std::move(setup)) {}
Interpreter::~Interpreter() = default;

PlaneAxes planeAxes(int plane)
{
    switch (plane) {
    case 18: return {2, 0, 1};
    case 19: return {1, 2, 0};
    default: return {0, 1, 2};
    }
}

double arcSweep(const double start[3], const double end[3], const double centre[3], int plane, int turn)
{
    const auto [a, b, n] = planeAxes(plane);
    (void)n;
    const double from = std::atan2(start[b] - centre[b], start[a] - centre[a]);
    const double to = std::atan2(end[b] - centre[b], end[a] - centre[a]);
    double sweep = std::fmod(turn < 0 ? from - to : to - from, 2.0 * std::numbers::pi);
    if (sweep < 0.0)
        sweep += 2.0 * std::numbers::pi;
    if (sweep < 1e-12)
        sweep = 2.0 * std::numbers::pi; // ends where it starts: a full circle
    sweep += 2.0 * std::numbers::pi * std::max(0, std::abs(turn) - 1);
    return turn < 0 ? -sweep : sweep;
}

std::array<double, kAxes> offsetsOf(const ModalState &s)
{
    std::array<double, kAxes> o{};
    for (std::size_t a = 0; a < kAxes; ++a)
        o[a] = s.frames[static_cast<std::size_t>(s.frame - 1)][a] + s.local[a] + s.g92[a] + s.toolOffset[a];
    return o;
}

static std::array<double, kAxes> programPosition(const ModalState &s)
{
    std::array<double, kAxes> p = s.machine;
    const std::array<double, kAxes> o = offsetsOf(s);
    for (std::size_t a = 0; a < kAxes; ++a)
        p[a] -= o[a];
    return p;
}

std::optional<double> Interpreter::stateValue(const QByteArray &name) const
{
    const ModalState &s = m_run.modal;
    const double unit = s.inches ? kMmPerInch : 1.0;
    if (name.size() == 2 && name[0] == '_') {
        for (std::size_t a = 0; a < kAxes; ++a) {
            if (name[1] == kAxisLetters[a] + ('a' - 'A')) {
                const double v = programPosition(s)[a];
                return isLinear(a) ? v / unit : v;
            }
        }
    }
    if (name == "_metric") return s.inches ? 0.0 : 1.0;
    if (name == "_imperial") return s.inches ? 1.0 : 0.0;
    if (name == "_absolute") return s.incremental ? 0.0 : 1.0;
    if (name == "_incremental") return s.incremental ? 1.0 : 0.0;
    if (name == "_inverse_time") return s.feedMode == 930 ? 1.0 : 0.0;
    if (name == "_units_per_minute") return s.feedMode == 940 ? 1.0 : 0.0;
    if (name == "_units_per_rev") return s.feedMode == 950 ? 1.0 : 0.0;
    if (name == "_current_tool") return s.tool;
    if (name == "_selected_tool") return s.selectedTool;
    if (name == "_feed") return s.feedMode == 930 ? s.feed : s.feed / unit;
    if (name == "_rpm") return s.speed;
    if (name == "_motion_mode") return s.motion;
    if (name == "_plane") return s.plane;
    if (name == "_coord_system") return 540 + (s.frame <= 6 ? (s.frame - 1) * 10 : 50 + (s.frame - 6));
    if (name == "_spindle_on") return s.spindle != 5 ? 1.0 : 0.0;
    if (name == "_flood") return s.flood ? 1.0 : 0.0;
    if (name == "_mist") return s.mist ? 1.0 : 0.0;
    if (name == "_retract_r_plane") return s.retractToR ? 1.0 : 0.0;
    if (name == "_retract_old_z") return s.retractToR ? 0.0 : 1.0;
    if (name == "_value" || name == "_value_returned")
        return 0.0; // set by a return; before any, 0
    return std::nullopt;
}

bool readToolTable(const QString &file, bool inches, QHash<int, ToolEntry> &tools, QString &error)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the tool table %1 cannot be read: %2").arg(file, in.errorString());
        return false;
    }
    const double unit = inches ? kMmPerInch : 1.0;
    qint64 number = 0;
    while (!in.atEnd()) {
        QByteArray line = in.readLine();
        ++number;
        const qsizetype semicolon = line.indexOf(';');
        if (semicolon >= 0)
            line.truncate(semicolon);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        std::optional<int> tool;
        ToolEntry entry;
        for (const QByteArray &word : line.simplified().split(' ')) {
            bool ok = false;
            const double v = word.mid(1).toDouble(&ok);
            const char letter = static_cast<char>(word.isEmpty() ? 0 : (word[0] & ~0x20));
            if (!ok) {
                error = QStringLiteral("%1, line %2: '%3' is not a letter and a number").arg(file).arg(number).arg(QString::fromLatin1(word));
                return false;
            }
            switch (letter) {
            case 'T': tool = static_cast<int>(v); break;
            case 'Z': entry.z = v * unit; break;
            case 'X': entry.x = v * unit; break;
            case 'D': entry.diameter = v * unit; break;
            default: break; // the pocket, the other axes, angles and orientation move nothing here
            }
        }
        if (!tool) {
            error = QStringLiteral("%1, line %2: a tool's line needs its T word").arg(file).arg(number);
            return false;
        }
        tools.insert(*tool, entry);
    }
    return true;
}

// One line's words, turned into the state and moves they make.
void Interpreter::execute(const Block &block, qint64 number, QList<Move> &moves, QList<Finding> &findings)
{
    const auto passOver = [&](const QString &why) {
        findings.append({number, why + QStringLiteral("; the line moves nothing")});
    };
    if (!block.repeatedLetter.isEmpty())
        return passOver(QStringLiteral("the letter %1 stands twice").arg(QString::fromLatin1(block.repeatedLetter)));

    // The codes, each checked against its group.
    int groups[16];
    std::fill(std::begin(groups), std::end(groups), -1);
    for (const double g : block.g) {
        const int code = tenths(g);
        if (m_setup.dialect == Dialect::Grbl && !grblKnows('G', code))
            return passOver(QStringLiteral("GRBL does not know %1").arg(codeName('G', code)));
        if (m_setup.dialect == Dialect::Fanuc && code == 650)
            continue; // a macro call: followed as the program's flow
        if (code == 520 && m_setup.dialect != Dialect::Fanuc)
            return passOver(codeName('G', code) + QStringLiteral(" is not followed"));
        const int group = groupOfG(code);
        if (group < 0 || code == 50 || code == 51 || code == 52)
            return passOver(codeName('G', code) + QStringLiteral(" is not followed"));
        if (groups[group] >= 0 && group == 1 && (code == 800 || groups[group] == 800)) {
            // G80 beside another motion code gives way to it.
            if (code == 800)
                continue;
        } else if (groups[group] >= 0)
            return passOver(QStringLiteral("%1 and %2 are of one modal group").arg(codeName('G', groups[group]), codeName('G', code)));
        groups[group] = code;
    }
    int mGroups[16];
    std::fill(std::begin(mGroups), std::end(mGroups), -1);
    bool mist = false, flood = false, coolantOff = false;
    std::optional<QString> userM;
    for (const double m : block.m) {
        const int code = tenths(m);
        if (m_setup.dialect == Dialect::Grbl && !grblKnows('M', code))
            return passOver(QStringLiteral("GRBL does not know %1").arg(codeName('M', code)));
        const int group = groupOfM(code);
        if (group >= 0) {
            if (mGroups[group] >= 0)
                return passOver(QStringLiteral("%1 and %2 are of one modal group").arg(codeName('M', mGroups[group]), codeName('M', code)));
            mGroups[group] = code;
            continue;
        }
        switch (code) {
        case 70: mist = true; break;
        case 80: flood = true; break;
        case 90: coolantOff = true; break;
        case 190: case 620: case 630: case 640: case 650: case 660: case 670: case 680: break;
        case 980: case 990: // the program's flow
        case 700: case 710: case 720: case 730: // the modes kept and put back
            break;
        default:
            if (code >= 1000 && code <= 1990 && code % 10 == 0 && m_setup.dialect == Dialect::LinuxCnc)
                userM = codeName('M', code);
            else if (m_setup.dialect == Dialect::Fanuc && code % 10 == 0)
                userM = codeName('M', code); // the machine builder's own codes: clamps, doors, conveyors
            else
                return passOver(codeName('M', code) + QStringLiteral(" is not followed"));
        }
    }
    if (userM)
        findings.append({number,
                         *userM + (m_setup.dialect == Dialect::Fanuc ? QStringLiteral(" is the machine's own code, which moves nothing here")
                                                                     : QStringLiteral(" runs a program of the machine's, which moves nothing here")),
                         Severity::Warning});

    ModalState next = m_run.modal;
    const auto word = [&](char letter) { return block.word(letter); };
    // Feed mode, feed, speed, tool.
    if (groups[5] >= 0)
        next.feedMode = groups[5];
    const double unit = next.inches ? kMmPerInch : 1.0;
    const int unitsCode = groups[6];
    const double lineUnit = unitsCode == 200 ? kMmPerInch : unitsCode == 210 ? 1.0 : unit;
    if (word('F'))
        next.feed = next.feedMode == 930 ? *word('F') : *word('F') * lineUnit;
    if (word('S'))
        next.speed = *word('S');
    if (word('T'))
        next.selectedTool = static_cast<int>(std::lround(*word('T')));
    if (mGroups[6] == 60)
        next.tool = next.selectedTool;
    if (mGroups[6] == 610) {
        if (!word('Q'))
            return passOver(QStringLiteral("M61 needs the tool's number in a Q word"));
        next.tool = static_cast<int>(std::lround(*word('Q')));
    }
    if (mGroups[7] >= 0)
        next.spindle = mGroups[7] / 10;
    if (mist)
        next.mist = true;
    if (flood)
        next.flood = true;
    if (coolantOff)
        next.mist = next.flood = false;

    // The dwell, then the modes.
    const int nonModal = groups[0];
    // The dwell's time: seconds in P; on the Fanuc family milliseconds in P or seconds in X.
    std::optional<double> dwellSeconds;
    if (nonModal == 40) {
        if (m_setup.dialect == Dialect::Fanuc && word('X'))
            dwellSeconds = *word('X');
        else if (word('P'))
            dwellSeconds = m_setup.dialect == Dialect::Fanuc ? *word('P') / 1000.0 : *word('P');
        else
            return passOver(QStringLiteral("G4 needs its time in a P word"));
    }
    if (groups[2] >= 0)
        next.plane = groups[2];
    if (unitsCode >= 0)
        next.inches = unitsCode == 200;
    if (groups[15] >= 0)
        next.diameter = groups[15] == 70;
    if (groups[7] >= 0)
        next.compensation = groups[7];
    if (groups[14] >= 0)
        next.constantSpeed = groups[14] == 960;
    const double u = next.inches ? kMmPerInch : 1.0; // the line's unit from here on
    bool axesUsed = false; // by G43.1 or a code of group 0 rather than by the motion
    if (groups[8] >= 0) {
        next.lengthOffset = groups[8];
        const auto lengthsOf = [&](int tool) -> std::optional<ToolEntry> {
            if (tool == 0 || m_setup.tools.contains(tool))
                return m_setup.tools.value(tool);
            if (m_setup.tools.isEmpty())
                return ToolEntry{}; // no tool table: every length is 0
            return std::nullopt;
        };
        switch (groups[8]) {
        case 490: next.toolOffset.fill(0.0); break;
        case 430: case 432: {
            const int h = word('H') ? static_cast<int>(std::lround(*word('H'))) : next.tool;
            const std::optional<ToolEntry> lengths = lengthsOf(h);
            if (!lengths)
                return passOver(QStringLiteral("the tool table has no tool %1 for G43's H word").arg(h));
            if (groups[8] == 430)
                next.toolOffset.fill(0.0);
            next.toolOffset[2] += lengths->z;
            next.toolOffset[0] += lengths->x;
            break;
        }
        case 431:
            axesUsed = true;
            next.toolOffset.fill(0.0);
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (const std::optional<double> &v = word(kAxisLetters[a]))
                    next.toolOffset[a] = *v * (isLinear(a) ? u : 1.0);
            }
            break;
        }
    }
    if (groups[12] >= 0) {
        const int code = groups[12];
        next.frame = code <= 590 ? (code - 540) / 10 + 1 : 6 + (code - 590);
    }
    if (groups[13] >= 0)
        next.pathMode = groups[13];
    if (groups[3] >= 0)
        next.incremental = groups[3] == 910;
    if (groups[4] >= 0)
        next.arcAbsolute = groups[4] == 901;
    if (groups[10] >= 0)
        next.retractToR = groups[10] == 990;

    Parameters &parameters = m_run.parameters;
    const std::array<double, kAxes> before = programPosition(next);
    // An axis word's value in program coordinates and millimetres, X a radius in diameter mode.
    const auto axisValue = [&](std::size_t a) -> std::optional<double> {
        const std::optional<double> &v = word(kAxisLetters[a]);
        if (!v)
            return std::nullopt;
        double value = *v * (isLinear(a) ? u : 1.0);
        if (a == 0 && next.diameter)
            value /= 2.0;
        return value;
    };
    bool anyAxis = false;
    for (std::size_t a = 0; a < kAxes; ++a)
        anyAxis = anyAxis || word(kAxisLetters[a]).has_value();

    // Group 0: offsets and stored positions.
    const auto storedPosition = [&](int base) {
        std::array<double, kAxes> p{};
        for (std::size_t a = 0; a < kAxes; ++a)
            p[a] = parameters.numbered(base + static_cast<int>(a)) * (isLinear(a) ? u : 1.0);
        return p;
    };
    const auto store = [&](int base, const std::array<double, kAxes> &p) {
        for (std::size_t a = 0; a < kAxes; ++a)
            parameters.setNumbered(base + static_cast<int>(a), p[a] / (isLinear(a) ? u : 1.0));
    };
    std::optional<std::array<double, kAxes>> homeVia; // G28/G30 with axis words: the point passed
    std::optional<std::array<double, kAxes>> homeTo;
    switch (nonModal) {
    case 100: {
        axesUsed = true;
        const int l = word('L') ? static_cast<int>(std::lround(*word('L'))) : -1;
        const int p = word('P') ? static_cast<int>(std::lround(*word('P'))) : -1;
        if (l == 2 || l == 20) {
            if (p < 0 || p > 9)
                return passOver(QStringLiteral("G10 L%1 needs a P word from 0 (the frame in force) to 9").arg(l));
            if (word('R') && *word('R') != 0.0)
                return passOver(QStringLiteral("a rotated frame (G10 with R) is not followed"));
            const int frame = p == 0 ? next.frame : p;
            std::array<double, kAxes> &origin = next.frames[static_cast<std::size_t>(frame - 1)];
            for (std::size_t a = 0; a < kAxes; ++a) {
                const std::optional<double> v = axisValue(a);
                if (!v)
                    continue;
                origin[a] = l == 2 ? *v : next.machine[a] - next.local[a] - next.g92[a] - next.toolOffset[a] - *v;
            }
            store(5221 + 20 * (frame - 1), origin);
        } else if (l == 1 || l == 10 || l == 11) {
            if (p < 1)
                return passOver(QStringLiteral("G10 L%1 needs the tool's number in a P word").arg(l));
            ToolEntry entry = m_setup.tools.value(p);
            if (const std::optional<double> z = axisValue(2))
                entry.z = l == 1 ? *z : next.machine[2] - next.frames[static_cast<std::size_t>(l == 11 ? 8 : next.frame - 1)][2] - next.g92[2] - *z;
            if (const std::optional<double> x = axisValue(0))
                entry.x = l == 1 ? *x : next.machine[0] - next.frames[static_cast<std::size_t>(l == 11 ? 8 : next.frame - 1)][0] - next.g92[0] - *x;
            if (word('R'))
                entry.diameter = 2.0 * *word('R') * u;
            m_setup.tools.insert(p, entry);
        } else {
            return passOver(QStringLiteral("G10 needs L1, L2, L10, L11 or L20"));
        }
        break;
    }
    case 280: case 300: {
        const std::array<double, kAxes> stored = storedPosition(nonModal == 280 ? 5161 : 5181);
        std::array<double, kAxes> to = next.machine;
        if (anyAxis) {
            axesUsed = true;
            std::array<double, kAxes> via = before;
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (const std::optional<double> v = axisValue(a)) {
                    via[a] = next.incremental ? before[a] + *v : *v;
                    to[a] = stored[a];
                }
            }
            homeVia = via;
        } else {
            to = stored;
        }
        homeTo = to;
        break;
    }
    case 40:
        axesUsed = m_setup.dialect == Dialect::Fanuc; // G4 X is a time there
        break;
    case 520:
        // A local shift of every frame; G52 with zeros ends it.
        axesUsed = true;
        for (std::size_t a = 0; a < kAxes; ++a) {
            if (const std::optional<double> v = axisValue(a))
                next.local[a] = *v;
        }
        break;
    case 281: store(5161, next.machine); break;
    case 301: store(5181, next.machine); break;
    case 920: {
        axesUsed = true;
        if (!anyAxis)
            return passOver(QStringLiteral("G92 needs an axis word"));
        for (std::size_t a = 0; a < kAxes; ++a) {
            if (const std::optional<double> v = axisValue(a))
                next.g92[a] = next.machine[a] - next.frames[static_cast<std::size_t>(next.frame - 1)][a] - next.local[a] - next.toolOffset[a] - *v;
        }
        store(5211, next.g92);
        parameters.setNumbered(5210, 1.0);
        break;
    }
    case 921: case 922:
        next.g92.fill(0.0);
        if (nonModal == 921)
            store(5211, next.g92);
        parameters.setNumbered(5210, 0.0);
        break;
    case 923:
        next.g92 = storedPosition(5211);
        parameters.setNumbered(5210, 1.0);
        break;
    default:
        break;
    }

    // The motion.
    const int motionCode = groups[1];
    if (motionCode >= 0)
        next.motion = motionCode;
    if (motionCode >= 0 && isCycle(motionCode) && !isCycle(m_run.modal.motion))
        next.cycleLevel = before[axesOf(next.plane).normal]; // a series of canned cycles begins here
    const bool machineFrame = nonModal == 530;
    const auto finish = [&](const std::array<double, kAxes> &machine) {
        m_run.modal = next;
        m_run.modal.machine = machine;
    };

    // Each move is made in the state the line leaves, its end in that frame.
    const std::array<double, kAxes> offsets = offsetsOf(next);
    const auto record = [&](MoveKind kind, const std::array<double, kAxes> &machine) -> Move & {
        Move move;
        move.kind = kind;
        move.line = number;
        for (std::size_t a = 0; a < kAxes; ++a)
            move.end[a] = machine[a] - offsets[a];
        move.plane = next.plane / 10;
        move.feed = next.feed;
        move.tool = next.tool;
        move.offset = {offsets[0] - next.toolOffset[0], offsets[1] - next.toolOffset[1], offsets[2] - next.toolOffset[2]};
        move.toolLength = next.toolOffset[2];
        moves.append(move);
        return moves.last();
    };
    if (nonModal == 40)
        record(MoveKind::Dwell, m_run.modal.machine).seconds = *dwellSeconds;
    std::array<double, kAxes> machine = m_run.modal.machine;
    if (homeTo) {
        if (homeVia) {
            for (std::size_t a = 0; a < kAxes; ++a)
                machine[a] = (*homeVia)[a] + offsets[a];
            record(MoveKind::Rapid, machine);
        }
        machine = *homeTo;
        record(MoveKind::Rapid, machine);
        finish(machine);
        return;
    }

    const bool motionWords = anyAxis && !axesUsed;
    const bool motionNamed = motionCode >= 0 && motionCode != 800;
    if (!motionWords && !(motionNamed && !isCycle(motionCode))) {
        finish(machine);
        return;
    }
    if (next.motion == 800)
        return passOver(QStringLiteral("axis words with no motion in force (G0, G1, G2 or G3)"));
    if (machineFrame && next.motion != 0 && next.motion != 10)
        return passOver(QStringLiteral("G53 goes with G0 or G1 only"));
    if (machineFrame && next.incremental)
        return passOver(QStringLiteral("G53 takes absolute positions, not G91's"));

    if (isCycle(next.motion)) {
        // A canned cycle: in the plane's two axes to the hole, then along its normal. Its R, Z
        // (the normal's word), P and Q stay from line to line, as does where the series began.
        const PlaneAxes plane = axesOf(next.plane);
        const char depthLetter = kAxisLetters[plane.normal];
        const bool fresh = m_run.modal.motion != next.motion;
        if (word('R'))
            next.cycleR = *word('R') * u;
        else if (fresh)
            return passOver(QStringLiteral("%1 needs its R word").arg(codeName('G', next.motion)));
        if (word(depthLetter))
            next.cycleZ = *word(depthLetter) * u;
        else if (fresh)
            return passOver(QStringLiteral("%1 needs its %2 word").arg(codeName('G', next.motion)).arg(QLatin1Char(depthLetter)));
        if (word('P'))
            next.cycleP = *word('P');
        if (word('Q'))
            next.cycleQ = *word('Q') * u;
        const bool pecks = next.motion == 730 || next.motion == 830;
        if (pecks && next.cycleQ <= 0.0)
            return passOver(QStringLiteral("%1 needs a Q word above 0").arg(codeName('G', next.motion)));
        if (next.motion == 870 && (!word('K') || (!word('I') && !word('J'))))
            return passOver(QStringLiteral("G87 needs its K word and its I or J"));
        if (next.motion == 880)
            return passOver(QStringLiteral("G88 stops for the operator at the bottom; it is not followed"));
        int repeats = 1;
        if (word('L')) {
            repeats = static_cast<int>(std::lround(*word('L')));
            if (repeats < 1)
                return passOver(QStringLiteral("a canned cycle cannot be repeated L%1 times").arg(*word('L')));
        }
        const std::size_t sa = plane.first;
        const std::size_t sb = plane.second;
        const std::size_t sc = plane.normal;
        const double r = next.incremental ? next.cycleR + next.cycleLevel : next.cycleR;
        const double bottom = next.incremental ? r + next.cycleZ : next.cycleZ;
        if (r < bottom)
            return passOver(QStringLiteral("R is below the hole's bottom in %1").arg(codeName('G', next.motion)));
        if (next.feed <= 0.0 && next.motion != 760)
            findings.append({number, QStringLiteral("a canned cycle with no feed rate (F)")});
        std::array<double, kAxes> at = before;
        const auto go = [&](MoveKind kind, double a, double b, double c) {
            at[sa] = a;
            at[sb] = b;
            at[sc] = c;
            for (std::size_t x = 0; x < kAxes; ++x)
                machine[x] = at[x] + offsets[x];
            record(kind, machine);
        };
        const std::optional<double> wordA = axisValue(sa);
        const std::optional<double> wordB = axisValue(sb);
        double a = next.incremental ? before[sa] : wordA.value_or(before[sa]);
        double b = next.incremental ? before[sb] : wordB.value_or(before[sb]);
        const double stepA = next.incremental ? wordA.value_or(0.0) : 0.0;
        const double stepB = next.incremental ? wordB.value_or(0.0) : 0.0;
        // G98 goes back to where the series began (or R, if higher), G99 to R. A series that
        // began below R goes up to R where the tool stands first; else a hole starts where the
        // tool stands, or higher: at R (G99) or where the series began (G98).
        const double start = before[sc];
        double oldLevel = std::max(start, next.retractToR ? r : next.cycleLevel);
        if (next.cycleLevel < r) {
            go(MoveKind::Rapid, before[sa], before[sb], r);
            oldLevel = r;
        }
        const double clear = next.retractToR ? r : std::max(next.cycleLevel, r);
        // Where a peck drill stops short of the last peck's depth on the way back in.
        const double rapidDelta = next.inches ? 0.010 * kMmPerInch : 0.254;
        const double q = next.cycleQ;
        const double dwell = next.cycleP;
        for (int k = 0; k < repeats; ++k) {
            a += stepA;
            b += stepB;
            go(MoveKind::Rapid, a, b, oldLevel);
            if (oldLevel != r)
                go(MoveKind::Rapid, a, b, r);
            const auto pause = [&] {
                if (dwell > 0.0)
                    record(MoveKind::Dwell, machine).seconds = dwell;
            };
            switch (next.motion) {
            case 810: go(MoveKind::Feed, a, b, bottom); go(MoveKind::Rapid, a, b, clear); break;
            case 820: go(MoveKind::Feed, a, b, bottom); pause(); go(MoveKind::Rapid, a, b, clear); break;
            case 730: case 830:
                for (double depth = r - q; depth > bottom; depth -= q) {
                    go(MoveKind::Feed, a, b, depth);
                    if (next.motion == 830) {
                        go(MoveKind::Rapid, a, b, r);
                    }
                    go(MoveKind::Rapid, a, b, depth + rapidDelta);
                }
                go(MoveKind::Feed, a, b, bottom);
                go(MoveKind::Rapid, a, b, clear);
                break;
            case 840: go(MoveKind::Feed, a, b, bottom); pause(); go(MoveKind::Feed, a, b, clear); break;
            case 850: go(MoveKind::Feed, a, b, bottom); go(MoveKind::Feed, a, b, r); go(MoveKind::Rapid, a, b, clear); break;
            case 860: go(MoveKind::Feed, a, b, bottom); pause(); go(MoveKind::Rapid, a, b, clear); break;
            case 890: go(MoveKind::Feed, a, b, bottom); pause(); go(MoveKind::Feed, a, b, clear); break;
            case 870: {
                // Back boring: in off centre with the spindle stopped, cut up to K and back, out the same way.
                const double offA = word(sa == 0 ? 'I' : sa == 1 ? 'J' : 'K').value_or(0.0) * u;
                const double offB = word(sb == 0 ? 'I' : sb == 1 ? 'J' : 'K').value_or(0.0) * u;
                const double middle = *word('K') * u;
                go(MoveKind::Rapid, a + offA, b + offB, r);
                go(MoveKind::Rapid, a + offA, b + offB, bottom);
                go(MoveKind::Rapid, a, b, bottom);
                go(MoveKind::Feed, a, b, middle);
                go(MoveKind::Feed, a, b, bottom);
                go(MoveKind::Rapid, a + offA, b + offB, bottom);
                go(MoveKind::Rapid, a + offA, b + offB, clear);
                go(MoveKind::Rapid, a, b, clear);
                break;
            }
            default: break;
            }
            oldLevel = clear;
        }
        finish(machine);
        return;
    }

    // The end point.
    std::array<double, kAxes> target = before;
    for (std::size_t a = 0; a < kAxes; ++a) {
        const std::optional<double> v = axisValue(a);
        if (!v)
            continue;
        if (machineFrame)
            target[a] = *v - offsets[a];
        else
            target[a] = next.incremental ? before[a] + *v : *v;
    }
    for (std::size_t a = 0; a < kAxes; ++a)
        machine[a] = target[a] + offsets[a];

    const bool inverseTime = next.feedMode == 930;
    if (inverseTime && next.motion != 0 && next.motion < 380 && !word('F'))
        return passOver(QStringLiteral("a feed move in inverse time (G93) needs its F word"));
    switch (next.motion) {
    case 0:
        record(MoveKind::Rapid, machine);
        break;
    case 10: case 330: case 331: {
        if (next.motion != 10 && !word('K'))
            return passOver(QStringLiteral("%1 needs the thread's pitch in a K word").arg(codeName('G', next.motion)));
        if (next.motion == 10 && next.feed <= 0.0)
            findings.append({number, QStringLiteral("a feed move with no feed rate (F)")});
        Move &move = record(MoveKind::Feed, machine);
        if (next.motion != 10)
            move.feed = *word('K') * u; // per turn of the spindle
        if (next.motion == 331) // rigid tapping: in, then out again
            record(MoveKind::Feed, m_run.modal.machine).feed = move.feed;
        break;
    }
    case 382: case 383: case 384: case 385:
        if (next.feed <= 0.0)
            findings.append({number, QStringLiteral("a probe move with no feed rate (F)")});
        record(MoveKind::Probe, machine);
        break;
    case 20: case 30: {
        if (next.feed <= 0.0)
            findings.append({number, QStringLiteral("an arc with no feed rate (F)")});
        const PlaneAxes plane = axesOf(next.plane);
        const std::size_t s = plane.first;
        const std::size_t t = plane.second;
        const std::array<double, kAxes> &start = before;
        const bool clockwise = next.motion == 20;
        double centreS = 0.0;
        double centreT = 0.0;
        if (word('R')) {
            const double vs = target[s] - start[s];
            const double vt = target[t] - start[t];
            const double chord = std::hypot(vs, vt);
            const double r = *word('R') * u;
            if (chord == 0.0)
                return passOver(QStringLiteral("an R arc cannot end where it starts"));
            const double h2 = r * r - chord * chord / 4.0;
            if (h2 < -kArcTolerance * std::fabs(r))
                return passOver(QStringLiteral("R %1 is too small to reach the end point").arg(*word('R')));
            // The centre stands to the left of the chord for a counter-clockwise arc of R > 0.
            double h = std::sqrt(std::max(0.0, h2)) / chord;
            if (clockwise != (r < 0))
                h = -h;
            centreS = (start[s] + target[s]) / 2.0 - h * vt;
            centreT = (start[t] + target[t]) / 2.0 + h * vs;
        } else {
            static const char centreLetters[3] = {'I', 'J', 'K'};
            const std::optional<double> &os = word(centreLetters[s]);
            const std::optional<double> &ot = word(centreLetters[t]);
            if (!os && !ot)
                return passOver(QStringLiteral("an arc needs its centre (I, J or K) or its radius (R)"));
            const double ds = os.value_or(0.0) * u;
            const double dt = ot.value_or(0.0) * u;
            // With G90.1 the words are the centre itself, a missing one 0; else offsets from the start.
            centreS = next.arcAbsolute ? ds : start[s] + ds;
            centreT = next.arcAbsolute ? dt : start[t] + dt;
            const double r1 = std::hypot(start[s] - centreS, start[t] - centreT);
            const double r2 = std::hypot(target[s] - centreS, target[t] - centreT);
            if (std::fabs(r1 - r2) > kArcTolerance)
                return passOver(QStringLiteral("the end point is not on the arc: its radius is %1 mm, the start's %2 mm")
                                    .arg(decimal(r2), decimal(r1)));
        }
        int turns = 1;
        if (const std::optional<double> &p = word('P')) {
            turns = static_cast<int>(std::lround(*p));
            if (turns < 1 || std::fabs(*p - turns) > 1e-9)
                return passOver(QStringLiteral("P %1 is not a whole number of turns").arg(*p));
        }
        Move &move = record(MoveKind::Arc, machine);
        move.turn = clockwise ? -turns : turns;
        move.centre[s] = centreS;
        move.centre[t] = centreT;
        move.centre[plane.normal] = start[plane.normal];
        break;
    }
    case 760: {
        if (m_setup.dialect != Dialect::LinuxCnc)
            return passOver(QStringLiteral("G76 is not followed here"));
        if (next.plane != 180)
            return passOver(QStringLiteral("the threading cycle G76 needs the XZ plane (G18)"));
        for (const char letter : {'P', 'Z', 'I', 'J', 'K'}) {
            if (!word(letter))
                return passOver(QStringLiteral("the threading cycle G76 needs its %1 word").arg(QLatin1Char(letter)));
        }
        const double pitch = *word('P') * u;
        const double peak = *word('I') * u;
        const double first = *word('J') * u;
        const double full = *word('K') * u;
        const double degression = word('R').value_or(1.0);
        const double angle = word('Q').value_or(0.0) * 3.14159265358979323846 / 180.0;
        const int springs = static_cast<int>(std::lround(word('H').value_or(0.0)));
        const int taper = static_cast<int>(std::lround(word('L').value_or(0.0)));
        const double taperLength = word('E').value_or(0.0) * u;
        if (pitch <= 0.0 || first <= 0.0 || full <= 0.0 || degression < 1.0 || peak == 0.0)
            return passOver(QStringLiteral("the threading cycle G76 needs P, J and K above 0, I not 0 and R of 1 or more"));
        // Passes ever deeper (J times the pass's number to the power 1/R) down to K, then the
        // spring passes at K; each starts further along Z by the compound angle Q.
        const double drive = before[0];
        const double startZ = before[2];
        const double endZ = target[2];
        const double s = peak < 0 ? -1.0 : 1.0; // toward the cut
        const double dz = endZ < startZ ? -1.0 : 1.0;
        const double slope = std::tan(angle);
        std::array<double, kAxes> at = before;
        const auto go = [&](MoveKind kind, double x, double z) {
            at[0] = x;
            at[2] = z;
            for (std::size_t k = 0; k < kAxes; ++k)
                machine[k] = at[k] + offsets[k];
            record(kind, machine).feed = pitch;
        };
        QList<double> depths;
        for (int n = 1;; ++n) {
            const double depth = first * std::pow(n, 1.0 / degression);
            if (depth >= full || n > 10000)
                break;
            depths.append(depth);
        }
        for (int k = 0; k <= springs; ++k)
            depths.append(full);
        for (const double depth : depths) {
            const double cut = drive + peak + s * depth;
            const double out = drive - s * (full - depth);
            const double zs = startZ + dz * depth * slope;
            const double ze = endZ - dz * (full - depth) * slope;
            go(MoveKind::Rapid, out, zs);
            if (taper == 1 || taper == 3) {
                go(MoveKind::Feed, cut - s * taperLength, zs);
                go(MoveKind::Feed, cut, zs + dz * taperLength);
            } else {
                go(MoveKind::Rapid, cut, zs);
            }
            if (taper == 2 || taper == 3) {
                go(MoveKind::Feed, cut, ze - dz * taperLength);
                go(MoveKind::Feed, cut - s * taperLength, ze);
            } else {
                go(MoveKind::Feed, cut, ze);
            }
            go(MoveKind::Rapid, out, ze);
        }
        go(MoveKind::Rapid, drive, endZ);
        break;
    }
    default:
        return passOver(codeName('G', next.motion) + QStringLiteral(" is not followed"));
    }
    finish(machine);
}

bool usesUvw(LineSource &program)
{
    QByteArray text;
    for (qint64 n = 1; n <= program.lineCount(); ++n) {
        const QByteArrayView line = program.line(n);
        // Only a line with one of the letters is read closely.
        if (!line.contains('u') && !line.contains('U') && !line.contains('v') && !line.contains('V') && !line.contains('w') &&
            !line.contains('W'))
            continue;
        if (!compact(line, text, nullptr, nullptr) || BlockReader::oWordOf(line))
            continue;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char c = text[i];
            const bool letterBefore = i > 0 && text[i - 1] >= 'a' && text[i - 1] <= 'z';
            const bool letterAfter = i + 1 < text.size() && text[i + 1] >= 'a' && text[i + 1] <= 'z';
            if ((c == 'u' || c == 'v' || c == 'w') && !letterBefore && !letterAfter && (i == 0 || text[i - 1] != '<'))
                return true;
        }
    }
    return false;
}

QString movesHeader(bool uvw)
{
    return QStringLiteral("line\tkind\tx\ty\tz\ta\tb\tc%1\tcx\tcy\tcz\tplane\tturn\tfeed\ttool\tox\toy\toz\ttlo")
        .arg(uvw ? QStringLiteral("\tu\tv\tw") : QString());
}

namespace {
// A value with at most four decimals and no trailing zeros, as the table shows it.
void appendDecimal(QByteArray &out, double value)
{
    char digits[64];
    const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 4);
    if (r.ec != std::errc()) {
        out.append(decimal(value).toLatin1());
        return;
    }
    const char *end = r.ptr;
    while (end[-1] == '0')
        --end;
    if (end[-1] == '.')
        --end;
    const qsizetype n = end - digits;
    if (n == 2 && digits[0] == '-' && digits[1] == '0')
        out.append('0');
    else
        out.append(digits, n);
}
} // namespace

void appendMoveRow(QByteArray &out, const Move &move, bool uvw)
{
    static const char *const kinds[] = {"rapid", "feed", "arc", "dwell", "probe"};
    out.append(QByteArray::number(move.line)).append('\t').append(kinds[static_cast<int>(move.kind)]);
    for (std::size_t a = 0; a < (uvw ? kAxes : 6); ++a)
        appendDecimal(out.append('\t'), move.end[a]);
    for (const double v : move.centre) {
        out.append('\t');
        if (move.kind == MoveKind::Arc)
            appendDecimal(out, v);
    }
    out.append('\t').append(QByteArray::number(move.plane)).append('\t').append(QByteArray::number(move.turn));
    appendDecimal(out.append('\t'), move.feed);
    out.append('\t').append(QByteArray::number(move.tool));
    for (const double v : move.offset)
        appendDecimal(out.append('\t'), v);
    appendDecimal(out.append('\t'), move.toolLength);
    out.append('\n');
}

QString moveRow(const Move &move, bool uvw)
{
    QByteArray row;
    appendMoveRow(row, move, uvw);
    row.chop(1);
    return QString::fromLatin1(row);
}

} // namespace interp
