#include "motion.h"

#include "words.h"

#include <cmath>
#include <optional>

namespace interp {

namespace {

constexpr double kMmPerInch = 25.4;
// How far an arc's end may lie off its circle, in millimetres.
constexpr double kArcTolerance = 0.05;

const tessarc::WordReader &wordReader()
{
    // Spaces may stand anywhere in a word; comments in parentheses or after a semicolon.
    static const tessarc::WordReader reader(tessarc::CommentRule{QStringLiteral("("), QStringLiteral(")"), QStringLiteral(";")},
                                            true);
    return reader;
}

int axisOf(char letter)
{
    switch (letter) {
    case 'X': return 0;
    case 'Y': return 1;
    case 'Z': return 2;
    case 'A': return 3;
    case 'B': return 4;
    case 'C': return 5;
    default: return -1;
    }
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

// The two axes of a plane, in the order its arcs turn (counter-clockwise seen from the normal's
// plus side), and its normal.
struct PlaneAxes
{
    int first;
    int second;
    int normal;
};

PlaneAxes axesOf(int plane)
{
    switch (plane) {
    case 18: return {2, 0, 1};
    case 19: return {1, 2, 0};
    default: return {0, 1, 2};
    }
}

QString number(double value)
{
    QString text = QString::number(value, 'f', 4);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

} // namespace

void Interpreter::follow(QByteArrayView line, qint64 lineNumber, QList<Move> &moves, QList<Finding> &findings)
{
    const auto passOver = [&](const QString &why) {
        findings.append({lineNumber, why + QStringLiteral("; the line moves nothing")});
    };
    const tessarc::WordReader &reader = wordReader();
    for (const tessarc::SkipSpan &span : reader.skipSpans(line)) {
        if (span.kind != tessarc::SkipSpan::Kind::Comment)
            return passOver(QStringLiteral("parameters and expressions are not followed yet"));
    }
    if (reader.firstUse(line, 'O') != tessarc::LetterUse::None)
        return passOver(QStringLiteral("O-words (subroutines, loops, conditions) are not followed yet"));

    ModalState next = m_state;
    std::array<std::optional<double>, 6> axes;
    std::optional<double> offsets[3]; // I J K
    std::optional<double> radius;
    std::optional<double> p;
    std::optional<double> feed;
    QList<int> gCodes;
    QList<int> mCodes;
    char unknownLetter = 0; // said after the codes, which name what the line asks for
    reader.words(line, m_words);
    for (const tessarc::Word &word : m_words) {
        const int axis = axisOf(word.letter);
        if (axis >= 0) {
            axes[static_cast<std::size_t>(axis)] = word.value;
            continue;
        }
        switch (word.letter) {
        case 'G': gCodes.append(tenths(word.value)); break;
        case 'M': mCodes.append(tenths(word.value)); break;
        case 'I': offsets[0] = word.value; break;
        case 'J': offsets[1] = word.value; break;
        case 'K': offsets[2] = word.value; break;
        case 'R': radius = word.value; break;
        case 'P': p = word.value; break;
        case 'F': feed = word.value; break;
        case 'T': next.selectedTool = static_cast<int>(std::lround(word.value)); break;
        case 'S': case 'N': break;
        default:
            if (!unknownLetter)
                unknownLetter = word.letter;
            break;
        }
    }

    int motion = -1;
    bool dwell = false;
    for (const int code : gCodes) {
        switch (code) {
        case 0: case 10: case 20: case 30: motion = code / 10; break;
        case 800: motion = 80; break;
        case 40: dwell = true; break;
        case 170: case 180: case 190: next.plane = code / 10; break;
        case 200: next.inches = true; break;
        case 210: next.inches = false; break;
        case 900: next.incremental = false; break;
        case 910: next.incremental = true; break;
        case 901: next.arcAbsolute = true; break;
        case 911: next.arcAbsolute = false; break;
        // Codes that move nothing here: feed per minute, compensation and tool length off, the
        // first frame with no offsets set, path control.
        case 940: case 400: case 490: case 540: case 610: case 640: break;
        default:
            return passOver(codeName('G', code) + QStringLiteral(" is not followed yet"));
        }
    }
    for (const int code : mCodes) {
        switch (code) {
        case 60: next.tool = next.selectedTool; break;
        case 0: case 10: case 20: case 300: case 30: case 40: case 50: case 70: case 80: case 90: case 480: case 490: break;
        default:
            return passOver(codeName('M', code) + QStringLiteral(" is not followed yet"));
        }
    }
    if (unknownLetter)
        return passOver(QStringLiteral("the letter %1 is not followed yet").arg(QLatin1Char(unknownLetter)));
    const double unit = next.inches ? kMmPerInch : 1.0;
    if (feed)
        next.feed = *feed * unit;
    if (dwell) {
        if (!p)
            return passOver(QStringLiteral("G4 needs its time in a P word"));
        Move move;
        move.kind = MoveKind::Dwell;
        move.line = lineNumber;
        move.end = m_state.position;
        move.plane = next.plane;
        move.tool = next.tool;
        move.feed = next.feed;
        move.seconds = *p;
        moves.append(move);
    }
    if (motion >= 0)
        next.motion = motion;

    bool anyAxis = false;
    std::array<double, 6> target = m_state.position;
    for (std::size_t a = 0; a < axes.size(); ++a) {
        if (!axes[a])
            continue;
        anyAxis = true;
        const double value = *axes[a] * (a < 3 ? unit : 1.0);
        target[a] = next.incremental ? m_state.position[a] + value : value;
    }
    // A motion code with no axis word moves where the tool stands: G0 and G1 a move of no length,
    // G2 and G3 a full circle.
    const bool motionCode = motion >= 0 && motion != 80;
    if (!anyAxis && !motionCode) {
        m_state = next;
        return;
    }
    if (next.motion == 80)
        return passOver(QStringLiteral("axis words with no motion in force (G0, G1, G2 or G3)"));

    Move move;
    move.line = lineNumber;
    move.end = target;
    move.plane = next.plane;
    move.feed = next.feed;
    move.tool = next.tool;
    if (next.motion == 0) {
        move.kind = MoveKind::Rapid;
    } else if (next.motion == 1) {
        move.kind = MoveKind::Feed;
        if (next.feed <= 0.0)
            findings.append({lineNumber, QStringLiteral("a feed move with no feed rate (F)")});
    } else {
        move.kind = MoveKind::Arc;
        if (next.feed <= 0.0)
            findings.append({lineNumber, QStringLiteral("an arc with no feed rate (F)")});
        const PlaneAxes plane = axesOf(next.plane);
        const auto s = static_cast<std::size_t>(plane.first);
        const auto t = static_cast<std::size_t>(plane.second);
        const std::array<double, 6> &start = m_state.position;
        const bool clockwise = next.motion == 2;
        double centreS = 0.0;
        double centreT = 0.0;
        if (radius) {
            const double vs = target[s] - start[s];
            const double vt = target[t] - start[t];
            const double chord = std::hypot(vs, vt);
            const double r = *radius * unit;
            if (chord == 0.0)
                return passOver(QStringLiteral("an R arc cannot end where it starts"));
            const double h2 = r * r - chord * chord / 4.0;
            if (h2 < -kArcTolerance * std::fabs(r))
                return passOver(QStringLiteral("R %1 is too small to reach the end point").arg(*radius));
            // The centre stands to the left of the chord for a counter-clockwise arc of R > 0.
            double h = std::sqrt(std::max(0.0, h2)) / chord;
            if (clockwise != (r < 0))
                h = -h;
            centreS = (start[s] + target[s]) / 2.0 - h * vt;
            centreT = (start[t] + target[t]) / 2.0 + h * vs;
        } else {
            const std::optional<double> &os = offsets[s];
            const std::optional<double> &ot = offsets[t];
            if (!os && !ot)
                return passOver(QStringLiteral("an arc needs its centre (I, J or K) or its radius (R)"));
            const double ds = os.value_or(0.0) * unit;
            const double dt = ot.value_or(0.0) * unit;
            // With G90.1 the words are the centre itself, a missing one 0; else offsets from the start.
            centreS = next.arcAbsolute ? ds : start[s] + ds;
            centreT = next.arcAbsolute ? dt : start[t] + dt;
            const double r1 = std::hypot(start[s] - centreS, start[t] - centreT);
            const double r2 = std::hypot(target[s] - centreS, target[t] - centreT);
            if (std::fabs(r1 - r2) > kArcTolerance)
                return passOver(QStringLiteral("the end point is not on the arc: its radius is %1 mm, the start's %2 mm")
                                    .arg(number(r2), number(r1)));
        }
        int turns = 1;
        if (p) {
            turns = static_cast<int>(std::lround(*p));
            if (turns < 1 || std::fabs(*p - turns) > 1e-9)
                return passOver(QStringLiteral("P %1 is not a whole number of turns").arg(*p));
        }
        move.turn = clockwise ? -turns : turns;
        move.centre[s] = centreS;
        move.centre[t] = centreT;
        move.centre[static_cast<std::size_t>(plane.normal)] = start[static_cast<std::size_t>(plane.normal)];
    }
    moves.append(move);
    m_state = next;
    m_state.position = target;
}

QString movesHeader()
{
    return QStringLiteral("line\tkind\tx\ty\tz\ta\tb\tc\tcx\tcy\tcz\tplane\tturn\tfeed\ttool\tox\toy\toz\ttlo");
}

QString moveRow(const Move &move)
{
    static const char *const kinds[] = {"rapid", "feed", "arc", "dwell"};
    QStringList row{QString::number(move.line), QLatin1String(kinds[static_cast<int>(move.kind)])};
    for (const double v : move.end)
        row.append(number(v));
    for (const double v : move.centre)
        row.append(move.kind == MoveKind::Arc ? number(v) : QString());
    // Frames and tool length offsets are not followed yet: a line that sets one is a finding, so
    // every move here is in a frame with no offset.
    row << QString::number(move.plane) << QString::number(move.turn) << number(move.feed) << QString::number(move.tool)
        << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0");
    return row.join(QLatin1Char('\t'));
}

} // namespace interp
