#include "restart.h"

#include "controlerror.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <deque>

namespace interp {

namespace {

bool isLinear(std::size_t axis)
{
    return axis < 3 || axis >= 6;
}

// A number as a block writes it: always with its point (a Fanuc reads "X1" as a thousandth), no
// trailing zeros, never "-0.".
QByteArray fixed(double v, int decimals)
{
    QByteArray s = QByteArray::number(v, 'f', decimals);
    if (s.contains('.')) {
        while (s.endsWith('0'))
            s.chop(1);
    }
    if (s == "-.")
        s = ".";
    if (s.startsWith("-") && s.mid(1).count('0') + s.mid(1).count('.') == s.size() - 1)
        s = s.mid(1);
    if (!s.contains('.'))
        s += '.';
    return s;
}

// A parameter's value, exact to what a double can tell apart and without an exponent.
QByteArray valueText(double v)
{
    QByteArray s = QByteArray::number(v, 'f', 10);
    while (s.endsWith('0'))
        s.chop(1);
    if (s.endsWith('.'))
        s.chop(1);
    return s == "-0" ? QByteArray("0") : s;
}

bool isMotionCode(double g)
{
    static constexpr double codes[] = {0, 1, 2, 3, 5, 5.1, 5.2, 33, 33.1, 38.2, 38.3, 38.4, 38.5, 73, 74, 76,
                                       80, 81, 82, 83, 84, 85, 86, 87, 88, 89};
    return std::any_of(std::begin(codes), std::end(codes), [g](double c) { return std::abs(c - g) < 1e-6; });
}

std::optional<double> stateOf(const void *context, const QByteArray &name)
{
    return static_cast<const Interpreter *>(context)->stateValue(name);
}

struct Refused
{
    QString why;
};

// Writes the restart program's pieces.
class Builder
{
public:
    Builder(LineSource &program, const Setup &setup, const MachineSetup &machine, const Interpreter &at, qint64 line)
        : m_program(program), m_setup(setup), m_machine(machine), m_at(at), m_state(at.state()), m_s(m_state.modal),
          m_line(line), m_unit(m_s.inches ? 25.4 : 1.0)
    {
        const bool fanuc = setup.dialect == Dialect::Fanuc;
        // A Fanuc takes thousandths of a millimetre (ten-thousandths of an inch); the others as
        // many digits as the program's own positions have.
        m_decimals = m_s.inches ? (fanuc ? 4 : 7) : (fanuc ? 3 : 6);
    }

    void build(RestartPlan &plan, const std::array<bool, kAxes> &used)
    {
        refuseWhatCannotBeRestarted();
        header();
        definitions();
        QByteArray where = plan.where.toUpper().toLatin1();
        where.replace(',', "").replace('(', "").replace(')', "");
        own("(RESTART AT " + where + ')');
        modes();
        offsets();
        parametersOf(m_state.parameters.callDepth());
        toolAndSpindle(plan);
        approach(plan, used);
        plan.firstOfProgram = lineCount() + 1;
        remainder();
        plan.pieces = m_pieces;
        plan.preamble = m_preamble;
        plan.approachLines = m_approachLines;
    }

private:
    using Frame = RunState::Frame;

    void own(const QByteArray &text, qint64 toldAs = 0)
    {
        RestartPiece piece;
        piece.text = text;
        piece.toldAs = toldAs;
        m_pieces.append(piece);
        if (!m_inRemainder)
            m_preamble.append(text);
    }

    void run(const QString &file, qint64 first, qint64 last)
    {
        if (last < first)
            return;
        if (!m_prefix.isEmpty())
            first = placePrefix(file, first, last);
        if (last < first)
            return;
        RestartPiece piece;
        piece.file = file;
        piece.first = first;
        piece.count = last - first + 1;
        piece.toldAs = file.isEmpty() ? 0 : m_toldAs;
        m_pieces.append(piece);
    }

    LineSource &sourceOf(const QString &file)
    {
        if (file.isEmpty())
            return m_program;
        auto it = m_files.find(file);
        if (it == m_files.end()) {
            QFile in(file);
            if (!in.open(QIODevice::ReadOnly))
                throw Refused{QStringLiteral("the subroutine file %1 cannot be read: %2").arg(file, in.errorString())};
            it = m_files.insert(file, std::make_shared<TextLines>(in.readAll()));
        }
        return **it;
    }

    QByteArray axis(std::size_t a, double mm) const
    {
        double v = isLinear(a) ? mm / m_unit : mm;
        if (a == 0 && m_s.diameter)
            v *= 2.0;
        return axisLetter(static_cast<int>(a)) + fixed(v, m_decimals);
    }
    QByteArray length(char letter, double mm) const { return letter + fixed(mm / m_unit, m_decimals); }

    void refuseWhatCannotBeRestarted()
    {
        if (m_s.compensation != 400)
            throw Refused{QStringLiteral("line %1 is under cutter compensation (G%2 from an earlier line): entering compensation "
                                         "in the middle of a path is unsafe; restart at the line that starts it, or after its G40")
                              .arg(m_line)
                              .arg(m_s.compensation / 10)};
        if (m_s.motion == 330 && !lineSetsMotion(m_program.line(m_line)))
            throw Refused{QStringLiteral("line %1 is inside a thread (G33 is in force): a thread cannot be picked up in the middle of "
                                         "a pass; restart at the pass's first line")
                              .arg(m_line)};
        if (m_setup.dialect == Dialect::Grbl) {
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (m_s.g92[a] != 0.0 || m_s.local[a] != 0.0)
                    throw Refused{QStringLiteral("a G92 offset is in force at line %1, and GRBL cannot be given it back without "
                                                 "moving; restart after the line that sets it")
                                      .arg(m_line)};
            }
        }
        for (const Frame &frame : m_state.frames) {
            if (frame.restoreModes)
                throw Refused{QStringLiteral("line %1 is in a subroutine that gives its caller's modes back at its end (M73); "
                                             "restart at its call, line %2")
                                  .arg(m_line)
                                  .arg(frame.returnLine - 1)};
        }
    }

    bool lineSetsMotion(QByteArrayView text) const
    {
        Block block;
        BlockReader(m_state.parameters, stateOf, &m_at, m_setup.dialect).read(text, block);
        return std::any_of(block.g.begin(), block.g.end(), [](double g) { return isMotionCode(g) && std::abs(g - 33) > 1e-6; });
    }

    // The program's % and its number, when it opens with them.
    void header()
    {
        const qint64 last = std::min<qint64>(m_line - 1, 40);
        bool percent = false;
        for (qint64 n = 1; n <= last; ++n) {
            QByteArray text;
            QByteArray comment;
            if (!compact(m_program.line(n), text, &comment, nullptr))
                break;
            if (text.isEmpty())
                continue;
            if (text == "%" && !percent) {
                percent = true;
                own("%");
                continue;
            }
            if (m_setup.dialect == Dialect::Fanuc) {
                const std::optional<OWord> o = BlockReader::oWordOf(m_program.line(n));
                if (o && o->keyword.isEmpty())
                    own(m_program.line(n).toByteArray().trimmed());
            }
            break;
        }
    }

    // The subroutines the program defines before the line, which later calls need.
    void definitions()
    {
        QList<std::pair<qint64, QByteArray>> starts;
        for (auto it = m_state.subroutines.constBegin(); it != m_state.subroutines.constEnd(); ++it) {
            if (!it.key().startsWith('n') && *it < m_line)
                starts.append({*it, it.key()});
        }
        std::sort(starts.begin(), starts.end());
        qint64 covered = 0;
        for (const auto &[start, label] : starts) {
            if (start <= covered)
                continue;
            const bool numbered = m_setup.dialect != Dialect::LinuxCnc;
            qint64 end = 0;
            for (qint64 n = start + 1; n <= m_program.lineCount() && !end; ++n) {
                const QByteArrayView text = m_program.line(n);
                if (numbered ? hasCode(text, 'm', 99) : isOWord(text, label, {"endsub"}))
                    end = n;
            }
            if (!end)
                continue; // never ended: the run says so itself
            run(QString(), start, end);
            covered = end;
        }
    }

    static bool isOWord(QByteArrayView text, const QByteArray &label, std::initializer_list<const char *> keywords)
    {
        const std::optional<OWord> o = BlockReader::oWordOf(text);
        if (!o || o->label != label)
            return false;
        return std::any_of(keywords.begin(), keywords.end(), [&](const char *k) { return o->keyword == k; });
    }

    void modes()
    {
        const Dialect d = m_setup.dialect;
        own(m_s.inches ? "G20" : "G21");
        QByteArray line = "G" + QByteArray::number(m_s.plane / 10) + " G40 G80 G90";
        if (d == Dialect::LinuxCnc)
            line += m_s.arcAbsolute ? " G90.1" : " G91.1";
        if (d != Dialect::Grbl) {
            line += m_s.pathMode == 640 ? " G64" : m_s.pathMode == 611 ? " G61.1" : " G61";
            line += m_s.retractToR ? " G99" : " G98";
        }
        if (d == Dialect::LinuxCnc && (m_machine.lathe || m_s.diameter))
            line += m_s.diameter ? " G7" : " G8";
        own(line);
    }

    void offsets()
    {
        static const char *const frameCodes[] = {"G54", "G55", "G56", "G57", "G58", "G59", "G59.1", "G59.2", "G59.3"};
        for (std::size_t f = 0; f < 9; ++f) {
            const std::array<double, kAxes> &origin = m_s.frames[f];
            if (std::all_of(origin.begin(), origin.end(), [](double v) { return v == 0.0; }))
                continue;
            QByteArray line = "G10 L2 P" + QByteArray::number(static_cast<int>(f + 1));
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (origin[a] != 0.0)
                    line += ' ' + axisWord(a, origin[a]);
            }
            own(line);
        }
        own(frameCodes[m_s.frame - 1]);
        const bool fanuc = m_setup.dialect == Dialect::Fanuc;
        std::array<double, kAxes> local = m_s.local;
        if (fanuc) {
            for (std::size_t a = 0; a < kAxes; ++a)
                local[a] += m_s.g92[a];
        }
        if (std::any_of(local.begin(), local.end(), [](double v) { return v != 0.0; })) {
            QByteArray line = "G52";
            for (std::size_t a = 0; a < kAxes; ++a) {
                if (local[a] != 0.0)
                    line += ' ' + axisWord(a, local[a]);
            }
            own(line);
        }
        if (!fanuc && std::any_of(m_s.g92.begin(), m_s.g92.end(), [](double v) { return v != 0.0; })) {
            // Put back as G92.3 puts back what G92 kept: no move needed to set it.
            for (std::size_t a = 0; a < kAxes; ++a)
                own("#" + QByteArray::number(5211 + static_cast<int>(a)) + '=' + valueText(isLinear(a) ? m_s.g92[a] / m_unit : m_s.g92[a]));
            own("G92.3");
        }
    }

    // An axis word of an offset (never a diameter).
    QByteArray axisWord(std::size_t a, double mm) const
    {
        return axisLetter(static_cast<int>(a)) + fixed(isLinear(a) ? mm / m_unit : mm, m_decimals);
    }

    bool userParameter(int n) const
    {
        switch (m_setup.dialect) {
        case Dialect::LinuxCnc: return n >= 1 && n <= 5000;
        case Dialect::Fanuc: return (n >= 1 && n <= 33) || (n >= 100 && n <= 199) || (n >= 500 && n <= 999);
        case Dialect::Grbl: return false;
        }
        return false;
    }

    // The parameters the program has set, as call level `level` sees them: its own #1 ... #30 and
    // named locals, the globals with the first (level < 0: only the call level's locals).
    void parametersOf(int level, bool withGlobals = true, const std::array<double, Parameters::kLocalCount> *besides = nullptr)
    {
        const Parameters &p = m_state.parameters;
        const std::array<double, Parameters::kLocalCount> locals = p.numberedLocals(level);
        for (int n = 1; n <= Parameters::kLocalCount; ++n) {
            const double v = locals[static_cast<std::size_t>(n - 1)];
            const bool differs = besides && (*besides)[static_cast<std::size_t>(n - 1)] != 0.0;
            if (userParameter(n) && (v != 0.0 || differs))
                own("#" + QByteArray::number(n) + '=' + valueText(v));
        }
        if (withGlobals) {
            for (int n = Parameters::kLocalCount + 1; n < Parameters::kCount; ++n) {
                if (userParameter(n) && p.numbered(n) != 0.0)
                    own("#" + QByteArray::number(n) + '=' + valueText(p.numbered(n)));
            }
        }
        if (m_setup.dialect != Dialect::LinuxCnc)
            return;
        const auto named = [&](const QHash<QByteArray, double> &table) {
            QList<QByteArray> names = table.keys();
            std::sort(names.begin(), names.end());
            for (const QByteArray &name : names) {
                // The control's own state parameters (#<_x>, #<_feed> ...) cannot be set, and follow the state.
                if (name != "_value" && name != "_value_returned" && !m_at.stateValue(name))
                    own("#<" + name + ">=" + valueText(table.value(name)));
            }
        };
        if (withGlobals)
            named(p.globals());
        named(p.locals(level));
    }

    qint64 lineCount() const
    {
        qint64 n = 0;
        for (const RestartPiece &p : m_pieces)
            n += p.count > 0 ? p.count : 1;
        return n;
    }

    void toolAndSpindle(RestartPlan &plan)
    {
        const Dialect d = m_setup.dialect;
        plan.retractLine = lineCount() + 1;
        own(m_machine.retract);
        if (m_s.tool > 0 && d != Dialect::Grbl)
            own(QByteArray(m_machine.toolChange).replace('#', QByteArray::number(m_s.tool)));
        if (m_s.selectedTool > 0 && m_s.selectedTool != m_s.tool && d != Dialect::Grbl)
            own("T" + QByteArray::number(m_s.selectedTool));
        switch (m_s.lengthOffset) {
        case 490: own("G49"); break;
        case 430: own("G43 H" + QByteArray::number(heightNumber())); break;
        default: {
            QByteArray line = "G43.1";
            if (m_s.toolOffset[0] != 0.0)
                line += ' ' + length('X', m_s.toolOffset[0]);
            line += ' ' + length('Z', m_s.toolOffset[2]);
            own(line);
        }
        }
        if (d != Dialect::Grbl)
            own(m_s.constantSpeed ? "G96" : "G97");
        if (m_s.spindle == 3 || m_s.spindle == 4)
            own("S" + valueText(m_s.speed) + (m_s.spindle == 3 ? " M3" : " M4"));
        else if (m_s.speed != 0.0)
            own("S" + valueText(m_s.speed) + " M5");
        if (m_s.mist)
            own("M7");
        if (m_s.flood)
            own("M8");
        if (!m_s.mist && !m_s.flood)
            own("M9");
    }

    // The H number whose length is the one in force: the tool's own when it matches.
    int heightNumber() const
    {
        const auto matches = [&](const ToolEntry &e) {
            return std::abs(e.z - m_s.toolOffset[2]) < 1e-9 && std::abs(e.x - m_s.toolOffset[0]) < 1e-9;
        };
        if (m_setup.tools.contains(m_s.tool) ? matches(m_setup.tools.value(m_s.tool)) : m_s.toolOffset[2] == 0.0)
            return m_s.tool;
        QList<int> numbers = m_setup.tools.keys();
        std::sort(numbers.begin(), numbers.end());
        for (int n : numbers) {
            if (matches(m_setup.tools.value(n)))
                return n;
        }
        throw Refused{QStringLiteral("the tool length offset in force at line %1 matches no tool of the tool table").arg(m_line)};
    }

    void approach(RestartPlan &plan, const std::array<bool, kAxes> &used)
    {
        const std::array<double, kAxes> o = offsetsOf(m_s);
        for (std::size_t a = 0; a < kAxes; ++a)
            plan.start[a] = m_s.machine[a] - o[a];
        // A mill comes down Z onto the start; a lathe comes in along X, from outside the part.
        const std::size_t up = m_machine.lathe ? 0 : 2;
        const double feed = m_s.feedMode == 940 && m_s.feed > 0.0 ? m_s.feed : kRestartApproachFeed;
        const qint64 before = m_pieces.size();
        QByteArray across = "G94 G0";
        for (std::size_t a = 0; a < kAxes; ++a) {
            const bool plane = m_machine.lathe ? a == 2 : a < 2;
            if (a != up && (plane || used[a]))
                across += ' ' + axis(a, plan.start[a]);
        }
        // The tool crosses to the start at the height the retract leaves it, and comes down there.
        // A retract in machine coordinates (G53) goes to the top of the travel, above all the
        // program reaches, whatever the control's offsets; one in the program's coordinates that
        // ends below the clearance has the tool rise to the clearance first.
        const double clear = plan.start[up] + (m_s.inches ? kRestartClearanceInches * 25.4 : kRestartClearance);
        const bool riseFirst = !retractIsMachineCoordinates() && retractedTo(up) < clear - 1e-9;
        if (riseFirst)
            own("G0 " + axis(up, clear));
        own(across);
        if (!riseFirst)
            own("G0 " + axis(up, clear));
        own("G1 " + axis(up, plan.start[up]) + " F" + fixed(feed / m_unit, m_decimals));
        m_approachLines = m_pieces.size() - before;
        if (m_s.incremental)
            own("G91");
        if (m_s.feedMode != 940)
            own(m_s.feedMode == 930 ? "G93" : "G95");
        if (m_s.feedMode != 940 || feed != m_s.feed)
            own("F" + fixed(m_s.feed / m_unit, m_decimals));
        // The motion in force, put on the first line that moves without a motion code of its own.
        if (m_s.motion == 0)
            own("G0");
        else if (m_s.motion != 10 && m_s.motion != 800) {
            m_prefix = "G" + (m_s.motion % 10 ? QByteArray::number(m_s.motion / 10.0, 'f', 1) : QByteArray::number(m_s.motion / 10));
            if (m_s.motion >= 810 || m_s.motion == 730) {
                m_cycleWords = {{'R', m_s.cycleR}, {'Z', m_s.cycleZ}};
                if (m_s.motion == 730 || m_s.motion == 830)
                    m_cycleWords.append({'Q', m_s.cycleQ});
                if (m_s.cycleP != 0.0)
                    m_cycleWords.append({'P', m_s.cycleP});
            }
        }
    }

    bool retractIsMachineCoordinates() const
    {
        Block block;
        BlockReader(m_state.parameters, stateOf, &m_at, m_setup.dialect).read(m_machine.retract, block);
        return std::any_of(block.g.begin(), block.g.end(), [](double g) { return std::abs(g - 53) < 1e-6; });
    }

    // Where the machine's retract block leaves axis `a` from the state before the line, in program
    // coordinates; where it stands when the block does not move that axis.
    double retractedTo(std::size_t a) const
    {
        Interpreter probe(m_setup);
        RunState state = m_state;
        state.line = 1;
        state.file.clear();
        state.frames.clear();
        state.ended = false;
        probe.restore(state);
        TextLines block(m_machine.retract);
        QList<Move> moves;
        QList<Finding> findings;
        probe.step(block, moves, findings);
        const ModalState &after = probe.state().modal;
        return after.machine[a] - offsetsOf(after)[a];
    }

    // Puts the motion in force on the first line of `first` ... `last` that has an axis word and no
    // motion code; a line with a motion code of its own ends the search. Gives the first line still
    // to run from the file.
    qint64 placePrefix(const QString &file, qint64 first, qint64 last)
    {
        LineSource &source = sourceOf(file);
        for (qint64 n = first; n <= last; ++n) {
            const QByteArray text = source.line(n).toByteArray();
            Block block;
            BlockReader(m_state.parameters, stateOf, &m_at, m_setup.dialect).read(text, block);
            if (!block.error.isEmpty() || block.oword || block.statement) {
                m_prefix.clear();
                return first;
            }
            if (std::any_of(block.g.begin(), block.g.end(), isMotionCode)) {
                m_prefix.clear();
                return first;
            }
            bool moves = false;
            for (const char letter : {'X', 'Y', 'Z', 'A', 'B', 'C', 'U', 'V', 'W'})
                moves = moves || block.has(letter);
            if (!moves)
                continue;
            QByteArray words = m_prefix;
            for (const auto &[letter, mm] : m_cycleWords) {
                if (!block.has(letter))
                    words += ' ' + (letter == 'P' ? 'P' + valueText(mm) : length(letter, mm));
            }
            m_prefix.clear();
            if (n > first) {
                RestartPiece piece;
                piece.file = file;
                piece.first = first;
                piece.count = n - first;
                piece.toldAs = file.isEmpty() ? 0 : m_toldAs;
                m_pieces.append(piece);
            }
            own(words + ' ' + text.trimmed(), file.isEmpty() ? n : m_toldAs);
            return n + 1;
        }
        return first;
    }

    // The end of what is left of `frame`'s body from `from`: the line that closes it (or, for a
    // condition, the branch).
    qint64 endOf(const Frame &frame, LineSource &source, qint64 from)
    {
        const QByteArray &k = frame.keyword;
        for (qint64 n = from; n <= source.lineCount(); ++n) {
            const QByteArrayView text = source.line(n);
            if (k == "m98" || k == "g65") {
                if (hasCode(text, 'm', 99))
                    return n;
                continue;
            }
            if (frame.label.startsWith("do") && k == "while") { // a Fanuc WHILE ... DO m ... END m
                if (endNumberOf(text) == frame.label.mid(2).toInt())
                    return n;
                continue;
            }
            const std::optional<OWord> o = BlockReader::oWordOf(text);
            if (!o)
                continue;
            if ((o->keyword == "break" || o->keyword == "continue" || o->keyword == "return") &&
                std::any_of(m_state.frames.begin(), m_state.frames.end(), [&](const Frame &f) { return f.label == o->label; }))
                throw Refused{QStringLiteral("line %1 is in a pass that may leave its %2 early (o%3 %4 at line %5); restart at the "
                                             "line that starts it")
                                  .arg(m_line)
                                  .arg(QString::fromLatin1(k == "sub" ? "subroutine" : "loop"), QString::fromLatin1(o->label),
                                       QString::fromLatin1(o->keyword))
                                  .arg(n)};
            if (o->label != frame.label)
                continue;
            if ((k == "sub" && o->keyword == "endsub") || (k == "while" && o->keyword == "endwhile") ||
                (k == "do" && o->keyword == "while") || (k == "repeat" && o->keyword == "endrepeat") ||
                (k == "if" && (o->keyword == "elseif" || o->keyword == "else" || o->keyword == "endif")))
                return n;
        }
        throw Refused{QStringLiteral("the %1 that line %2 is in has no end").arg(QString::fromLatin1(k)).arg(m_line)};
    }

    // What is left of the run from the line: the rest of each call and loop under way, from the
    // innermost out, then the program to its end.
    void remainder()
    {
        m_inRemainder = true;
        QString file = m_state.file;
        qint64 from = m_line;
        int level = m_state.parameters.callDepth();
        for (const Frame &f : m_state.frames) {
            if (f.file.isEmpty() && (f.keyword == "sub" || f.keyword == "m98" || f.keyword == "g65")) {
                m_toldAs = f.returnLine - 1;
                break;
            }
        }
        for (qsizetype i = m_state.frames.size() - 1; i >= 0; --i) {
            const Frame &f = m_state.frames[i];
            LineSource &source = sourceOf(file);
            const qint64 end = endOf(f, source, from);
            run(file, from, end - 1);
            const QByteArray o = "o" + f.label;
            if (f.keyword == "sub" || f.keyword == "m98" || f.keyword == "g65") {
                const qint64 call = f.returnLine - 1;
                if (f.repeatsLeft > 1.5) {
                    QByteArray again = (f.keyword == "m98" ? "M98 P" : "G65 P") + f.label + " L" + valueText(f.repeatsLeft - 1);
                    if (f.keyword == "g65")
                        again += g65Arguments(f.arguments);
                    own(again, f.file.isEmpty() ? call : m_toldAs);
                }
                if (f.keyword != "m98") {
                    // The caller's own #1 ... #30 and named locals come back.
                    const std::array<double, Parameters::kLocalCount> callee = m_state.parameters.numberedLocals(level);
                    --level;
                    parametersOf(level, false, &callee);
                }
                file = f.file;
                from = f.returnLine;
                continue;
            }
            if (f.keyword == "while") {
                run(file, f.returnLine, end);
            } else if (f.keyword == "do") {
                // The passes left, as a loop that asks first.
                own(source.line(end).toByteArray().trimmed(), end);
                run(file, f.returnLine, end - 1);
                own(o + " endwhile", end);
            } else if (f.keyword == "repeat") {
                if (f.repeatsLeft > 1.5) {
                    own(o + " repeat [" + valueText(f.repeatsLeft - 1) + "]", f.returnLine - 1);
                    run(file, f.returnLine, end - 1);
                    own(o + " endrepeat", end);
                }
            } else if (f.keyword == "if") {
                qint64 endif = end;
                while (!isOWord(source.line(endif), f.label, {"endif"})) {
                    if (++endif > source.lineCount())
                        throw Refused{QStringLiteral("o%1 if has no endif").arg(QString::fromLatin1(f.label))};
                }
                from = endif + 1;
                continue;
            }
            from = end + 1;
        }
        if (!file.isEmpty())
            throw Refused{QStringLiteral("line %1 cannot be followed back to the program").arg(m_line)};
        run(QString(), from, m_program.lineCount());
    }

    static QByteArray g65Arguments(const QList<double> &arguments)
    {
        QByteArray out;
        for (const G65Argument &a : kG65Arguments) {
            const double v = arguments.value(a.number - 1);
            if (v != 0.0)
                out += ' ' + QByteArray(1, a.letter) + valueText(v);
        }
        return out;
    }

    LineSource &m_program;
    const Setup &m_setup;
    const MachineSetup &m_machine;
    const Interpreter &m_at;
    const RunState &m_state;
    const ModalState &m_s;
    qint64 m_line;
    double m_unit;
    int m_decimals = 4;
    QList<RestartPiece> m_pieces;
    QList<QByteArray> m_preamble;
    qint64 m_approachLines = 0;
    bool m_inRemainder = false;
    qint64 m_toldAs = 0;
    QByteArray m_prefix; // the motion in force, still to be put on a line
    QList<std::pair<char, double>> m_cycleWords;
    QHash<QString, std::shared_ptr<TextLines>> m_files;
};

// Whether two moves are the same move, to the numbers a block can write; the reason when not.
std::optional<QString> differenceOf(const Move &a, const Move &b, qint64 bLine)
{
    constexpr double tolerance = 0.002; // mm: the last digit a restart block writes
    const auto near = [](double x, double y) { return std::abs(x - y) <= tolerance + 1e-9 * std::abs(x); };
    if (a.kind != b.kind)
        return QStringLiteral("a move of another kind");
    if (a.line != bLine)
        return QStringLiteral("a move told under line %1").arg(bLine);
    for (std::size_t i = 0; i < kAxes; ++i) {
        if (!near(a.end[i], b.end[i]))
            return QStringLiteral("a move ending at %1 %2 instead of %3").arg(QLatin1Char(axisLetter(static_cast<int>(i)))).arg(b.end[i]).arg(a.end[i]);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (!near(a.offset[i], b.offset[i]))
            return QStringLiteral("another offset in %1").arg(QLatin1Char(axisLetter(static_cast<int>(i))));
    }
    if (a.kind == MoveKind::Arc) {
        for (std::size_t i = 0; i < 3; ++i) {
            if (!near(a.centre[i], b.centre[i]))
                return QStringLiteral("an arc about another centre");
        }
        if (a.turn != b.turn || a.plane != b.plane)
            return QStringLiteral("an arc turning another way");
    }
    if (a.kind != MoveKind::Rapid && !near(a.feed, b.feed))
        return QStringLiteral("a move at feed %1 instead of %2").arg(b.feed).arg(a.feed);
    if (a.tool != b.tool)
        return QStringLiteral("a move with tool %1 instead of %2").arg(b.tool).arg(a.tool);
    if (!near(a.toolLength, b.toolLength))
        return QStringLiteral("a move with another tool length offset");
    if (std::abs(a.seconds - b.seconds) > 1e-6)
        return QStringLiteral("a dwell of another time");
    return std::nullopt;
}

// Which mode of the state before the line the restart has not rebuilt; nothing when all are.
std::optional<QString> stateDifference(const ModalState &a, const ModalState &b)
{
    const auto near = [](double x, double y) { return std::abs(x - y) <= 0.002 + 1e-9 * std::abs(x); };
    if (a.inches != b.inches) return QStringLiteral("the units");
    if (a.plane != b.plane) return QStringLiteral("the plane");
    if (a.incremental != b.incremental || a.arcAbsolute != b.arcAbsolute) return QStringLiteral("the distance mode");
    if (a.feedMode != b.feedMode || !near(a.feed, b.feed)) return QStringLiteral("the feed");
    if (a.frame != b.frame) return QStringLiteral("the work offset");
    if (a.lengthOffset != b.lengthOffset && !(a.lengthOffset != 490 && b.lengthOffset == 431)) return QStringLiteral("the tool length offset");
    if (a.tool != b.tool) return QStringLiteral("the tool");
    if (a.spindle != b.spindle || a.speed != b.speed || a.constantSpeed != b.constantSpeed) return QStringLiteral("the spindle");
    if (a.mist != b.mist || a.flood != b.flood) return QStringLiteral("the coolant");
    if (a.retractToR != b.retractToR || a.pathMode != b.pathMode || a.diameter != b.diameter) return QStringLiteral("a mode");
    const std::array<double, kAxes> oa = offsetsOf(a), ob = offsetsOf(b);
    for (std::size_t i = 0; i < kAxes; ++i) {
        if (!near(oa[i], ob[i]))
            return QStringLiteral("the offset of %1").arg(QLatin1Char(axisLetter(static_cast<int>(i))));
        if (!near(a.machine[i], b.machine[i]))
            return QStringLiteral("the position of %1").arg(QLatin1Char(axisLetter(static_cast<int>(i))));
    }
    return std::nullopt;
}

Interpreter startedFor(const Setup &setup, const MachineSetup &machine)
{
    Interpreter interpreter(setup);
    if (machine.lathe) {
        RunState start = interpreter.state();
        start.modal.diameter = true;
        interpreter.restore(start);
    }
    return interpreter;
}

} // namespace

RestartPlan planRestart(LineSource &program, const Setup &setup, const MachineSetup &machine, qint64 line, int pass,
                        const std::function<bool(qint64)> &progress)
{
    RestartPlan plan;
    plan.line = line;
    plan.pass = pass;
    const auto refuse = [&](const QString &why) {
        plan.ok = false;
        plan.refusal = why;
        plan.pieces.clear();
        return plan;
    };
    if (line < 1 || line > program.lineCount())
        return refuse(QStringLiteral("the program has no line %1: it has %2 lines").arg(line).arg(program.lineCount()));
    if (pass < 1)
        return refuse(QStringLiteral("a pass is counted from 1"));

    try {
        // The run up to the line's pass.
        Interpreter original = startedFor(setup, machine);
        QList<Move> moves;
        QList<Finding> findings;
        std::array<bool, kAxes> used{};
        int seen = 0;
        qint64 steps = 0;
        for (;;) {
            const RunState &now = original.state();
            if (now.file.isEmpty() && now.line == line && ++seen == pass)
                break;
            moves.clear();
            findings.clear();
            const bool more = original.step(program, moves, findings);
            for (const Move &m : moves) {
                for (std::size_t a = 3; a < kAxes; ++a)
                    used[a] = used[a] || m.end[a] != 0.0;
            }
            if (!more)
                return refuse(seen == 0 ? QStringLiteral("line %1 is never run: the program ends before it, or passes over it").arg(line)
                                        : QStringLiteral("line %1 runs %2 %3, not %4").arg(line).arg(seen).arg(seen == 1 ? "time" : "times").arg(pass));
            if (progress && (++steps & 0x3fff) == 0 && !progress(original.state().line))
                return refuse(QStringLiteral("stopped before the restart was made"));
        }
        const RunState at = original.state();
        plan.state = at.modal;
        plan.where = QStringLiteral("line %1").arg(line);
        if (pass > 1 || !at.frames.isEmpty()) {
            plan.where += QStringLiteral(", pass %1").arg(pass);
            for (const RunState::Frame &f : at.frames) {
                if (f.keyword == "sub" || f.keyword == "m98" || f.keyword == "g65") {
                    plan.where += QStringLiteral(" (in O%1, called from line %2)").arg(QString::fromLatin1(f.label)).arg(f.returnLine - 1);
                    break;
                }
            }
        }
        Builder(program, setup, machine, original, line).build(plan, used);

        // The proof: the restart program's run makes the moves the program makes from the line.
        RestartLines restart(program, plan.pieces);
        Interpreter again = startedFor(setup, machine);
        std::deque<Move> left, right;
        bool leftMore = true, rightMore = true;
        bool stateChecked = false;
        const qint64 firstOfProgram = plan.firstOfProgram;
        const auto fail = [&](const QString &why) {
            return refuse(QStringLiteral("the restart from %1 would not do what the program does: %2").arg(plan.where, why));
        };
        while (leftMore || rightMore || (!left.empty() && !right.empty())) {
            if (rightMore) {
                if (!stateChecked && again.state().atTopLevel() && again.state().line >= firstOfProgram) {
                    stateChecked = true;
                    if (const std::optional<QString> d = stateDifference(at.modal, again.state().modal))
                        return fail(QStringLiteral("%1 before it differs").arg(*d));
                }
                moves.clear();
                findings.clear();
                rightMore = again.step(restart, moves, findings);
                for (const Move &m : moves) {
                    if (restart.originOf(m.line) != 0)
                        right.push_back(m);
                    else if (m.line == plan.retractLine)
                        plan.retract.append(m);
                    else
                        plan.approach.append(m);
                }
            }
            if (leftMore && (!rightMore || left.size() <= right.size() + 64)) {
                moves.clear();
                findings.clear();
                leftMore = original.step(program, moves, findings);
                left.insert(left.end(), moves.begin(), moves.end());
            }
            while (!left.empty() && !right.empty()) {
                const Move &r = right.front();
                if (const std::optional<QString> d = differenceOf(left.front(), r, restart.originOf(r.line)))
                    return fail(QStringLiteral("move %1 from the line would be %2").arg(plan.movesCompared + 1).arg(*d));
                left.pop_front();
                right.pop_front();
                ++plan.movesCompared;
            }
            if (!leftMore && !rightMore)
                break;
            if (left.size() > 1'000'000 || right.size() > 1'000'000)
                return fail(QStringLiteral("its moves run apart"));
            if (progress && (++steps & 0x3fff) == 0 && !progress(original.state().line))
                return refuse(QStringLiteral("stopped before the restart was proved"));
        }
        if (!left.empty())
            return fail(QStringLiteral("%1 of the program's moves would be missing").arg(left.size()));
        if (!right.empty())
            return fail(QStringLiteral("it would make %1 moves more").arg(right.size()));
        if (!stateChecked)
            return fail(QStringLiteral("it never reaches the line"));
    } catch (const Refused &r) {
        return refuse(r.why);
    } catch (const tessarc::ControlError &e) {
        return refuse(e.description());
    }
    plan.ok = true;
    return plan;
}

RestartLines::RestartLines(LineSource &program, const QList<RestartPiece> &pieces) : m_program(program), m_pieces(pieces)
{
    for (const RestartPiece &p : m_pieces) {
        m_starts.append(m_total + 1);
        m_total += p.count > 0 ? p.count : 1;
    }
}

qsizetype RestartLines::indexOf(qint64 number) const
{
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), number);
    return std::max<qsizetype>(0, (it - m_starts.begin()) - 1);
}

const RestartPiece &RestartLines::pieceOf(qint64 number) const
{
    return m_pieces.at(indexOf(number));
}

qint64 RestartLines::originOf(qint64 number) const
{
    if (number < 1 || number > m_total)
        return 0;
    const qsizetype i = indexOf(number);
    const RestartPiece &p = m_pieces.at(i);
    if (p.count == 0 || !p.file.isEmpty())
        return p.toldAs;
    return p.first + (number - m_starts.at(i));
}

QByteArrayView RestartLines::line(qint64 number)
{
    const qsizetype i = indexOf(number);
    const RestartPiece &p = m_pieces.at(i);
    if (p.count == 0)
        return p.text;
    const qint64 at = p.first + (number - m_starts.at(i));
    if (p.file.isEmpty())
        return m_program.line(at);
    auto it = m_files.find(p.file);
    if (it == m_files.end()) {
        QFile in(p.file);
        if (!in.open(QIODevice::ReadOnly))
            throw tessarc::ControlError(tessarc::ControlError::FileNotFound,
                                        QStringLiteral("the subroutine file %1 cannot be read: %2").arg(p.file, in.errorString()));
        it = m_files.insert(p.file, std::make_shared<TextLines>(in.readAll()));
    }
    return (*it)->line(at);
}

bool writeRestart(LineSource &program, const RestartPlan &plan, QIODevice &out, const QByteArray &end, QString &error,
                  const std::function<bool(qint64, qint64)> &progress)
{
    RestartLines lines(program, plan.pieces);
    QByteArray buffer;
    const qint64 total = lines.lineCount();
    try {
        for (qint64 n = 1; n <= total; ++n) {
            const QByteArrayView text = lines.line(n);
            buffer.append(text.data(), text.size());
            buffer.append(end);
            if (buffer.size() >= (1 << 20) || n == total) {
                if (out.write(buffer) != buffer.size()) {
                    error = out.errorString();
                    return false;
                }
                buffer.clear();
                if (progress && !progress(n, total)) {
                    error = QStringLiteral("stopped after %1 of %2 lines").arg(n).arg(total);
                    return false;
                }
            }
        }
    } catch (const tessarc::ControlError &e) {
        error = e.description();
        return false;
    }
    return true;
}

} // namespace interp
