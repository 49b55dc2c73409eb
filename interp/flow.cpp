// The program's flow: reading the next line, the O-word subroutines, loops and conditions, and
// the interpreter's state as bytes for a checkpoint.

#include "motion.h"

#include "controlerror.h"
#include "statebytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace interp {

namespace {

constexpr int kDeepestCall = 100;

QString oName(const QByteArray &label)
{
    return QStringLiteral("o%1").arg(QString::fromLatin1(label));
}

bool isPercentLine(QByteArrayView line)
{
    return line.trimmed() == QByteArrayView("%");
}

} // namespace

void putModesBack(ModalState &modal, const ModalState &saved)
{
    // Where the tool stands, the offsets and the tool in the spindle are never taken back.
    ModalState modes = saved;
    modes.machine = modal.machine;
    modes.frames = modal.frames;
    modes.g92 = modal.g92;
    modes.toolOffset = modal.toolOffset;
    modes.tool = modal.tool;
    modes.selectedTool = modal.selectedTool;
    modal = modes;
}

void Interpreter::report(QList<Finding> &findings, const Finding &finding)
{
    // Inside a loop or a call a line comes round again: its finding is said the first time.
    if (!m_run.frames.isEmpty()) {
        const QString key = QString::number(finding.line) + QLatin1Char(' ') + finding.reason;
        if (m_said.contains(key))
            return;
        m_said.insert(key);
    }
    findings.append(finding);
}

LineSource *Interpreter::sourceFor(const QString &file, LineSource &program)
{
    if (file.isEmpty())
        return &program;
    const auto it = m_files.constFind(file);
    return it == m_files.constEnd() ? nullptr : it->get();
}

bool Interpreter::step(LineSource &program, QList<Move> &moves, QList<Finding> &findings)
{
    if (m_run.ended)
        return false;
    LineSource *source = sourceFor(m_run.file, program);
    if (!source) {
        // A subroutine's file read by an earlier run (a checkpoint put back in a new interpreter).
        QFile in(m_run.file);
        if (!in.open(QIODevice::ReadOnly)) {
            findings.append({m_run.frames.isEmpty() ? m_run.line : m_run.frames.first().returnLine - 1,
                             QStringLiteral("the subroutine file %1 cannot be read again: %2").arg(m_run.file, in.errorString())});
            m_run.ended = true;
            return false;
        }
        m_files.insert(m_run.file, std::make_shared<TextLines>(in.readAll()));
        source = sourceFor(m_run.file, program);
    }
    // The line a move is told to come from: the program's own, or for a subroutine in a file of
    // its own, the program's line that called it.
    const qint64 number = m_run.line;
    qint64 programLine = number;
    if (!m_run.file.isEmpty()) {
        for (const RunState::Frame &frame : m_run.frames) {
            if (frame.file.isEmpty() && !frame.calledFile.isEmpty()) {
                programLine = frame.returnLine - 1;
                break;
            }
        }
    }
    if (number > source->lineCount()) {
        if (!m_run.file.isEmpty()) {
            findings.append({programLine, QStringLiteral("the subroutine file %1 ended before its endsub").arg(m_run.file)});
        } else if (!m_run.frames.isEmpty()) {
            const RunState::Frame &open = m_run.frames.last();
            findings.append({open.returnLine, QStringLiteral("%1 %2 has no end before the program's").arg(oName(open.label), QString::fromLatin1(open.keyword))});
        }
        m_run.ended = true;
        return false;
    }
    const QByteArrayView text = source->line(number);
    ++m_run.line;
    if (m_run.file.isEmpty() && isPercentLine(text)) {
        // The program's first % begins it; the next ends it.
        if (m_run.percentSeen)
            m_run.ended = true;
        m_run.percentSeen = true;
        return !m_run.ended;
    }
    BlockReader reader(m_run.parameters, [](const void *self, const QByteArray &name) {
        return static_cast<const Interpreter *>(self)->stateValue(name);
    }, this, m_setup.dialect);
    reader.read(text, m_block);
    if (!m_block.error.isEmpty()) {
        report(findings, {programLine, m_block.error + QStringLiteral("; the line moves nothing")});
        return true;
    }
    if (m_block.empty)
        return true;
    if (m_block.oword) {
        if (!flow(*m_block.oword, program, programLine, findings))
            m_run.ended = true;
        return !m_run.ended;
    }
    if (!m_block.system.isEmpty()) {
        // GRBL's homing ends at the machine's origin; its other commands move nothing.
        if (m_block.system == "$h")
            m_run.modal.machine.fill(0.0);
        return true;
    }
    if (m_block.statement) {
        const Statement &statement = *m_block.statement;
        if (!statement.then) {
            if (!macroFlow(statement, program, programLine, findings))
                m_run.ended = true;
            return !m_run.ended;
        }
        if (statement.condition == 0.0)
            return true; // IF [...] THEN with the condition not met: nothing of the line is done
    }
    if (m_setup.dialect == Dialect::Fanuc) {
        for (const double g : m_block.g) {
            if (std::lround(g * 10.0) == 650) {
                if (!callByG65(program, programLine, findings))
                    m_run.ended = true;
                return !m_run.ended;
            }
        }
    }
    if (m_block.jog) {
        // A jog moves as a feed move in the modes of its own words; the program's stay as they were.
        const ModalState modes = m_run.modal;
        m_block.g.insert(m_block.g.cbegin(), 1.0);
        execute(m_block, programLine, moves, findings);
        const std::array<double, kAxes> machine = m_run.modal.machine;
        m_run.modal = modes;
        m_run.modal.machine = machine;
        return true;
    }
    // Settings take effect once the whole line is read: X#1 on the line that sets #1 reads the old value.
    for (const auto &[ref, value] : m_block.settings) {
        if (ref.name.isEmpty())
            m_run.parameters.setNumbered(ref.number, value);
        else
            m_run.parameters.setNamed(ref.name, value);
    }
    const qsizetype before = findings.size();
    execute(m_block, programLine, moves, findings);
    if (!m_run.frames.isEmpty() && findings.size() > before) {
        // A line run on every pass of a loop says what it cannot follow once.
        QList<Finding> fresh = findings.mid(before);
        findings.resize(before);
        for (const Finding &f : fresh)
            report(findings, f);
    }
    for (const double m : m_block.m) {
        const int code = static_cast<int>(std::lround(m * 10.0));
        if (code == 20 || code == 300)
            m_run.ended = true;
        else if (code == 980 && !callByM98(program, programLine, findings))
            m_run.ended = true;
        else if (code == 990)
            returnByM99(program, programLine, findings);
        else if (code == 700) {
            m_run.savedModes = m_run.modal;
            m_run.modesSaved = true;
        } else if (code == 710) {
            m_run.modesSaved = false;
        } else if (code == 720) {
            if (m_run.modesSaved)
                putModesBack(m_run.modal, m_run.savedModes);
            else
                findings.append({programLine, QStringLiteral("M72 with no modes kept by M70")});
        } else if (code == 730) {
            RunState::Frame *call = nullptr;
            for (RunState::Frame &frame : m_run.frames) {
                if (frame.keyword == "sub")
                    call = &frame;
            }
            if (call) {
                call->restoreModes = true;
                call->savedModes = m_run.modal;
            } else {
                findings.append({programLine, QStringLiteral("M73 outside a subroutine keeps nothing")});
            }
        }
    }
    return !m_run.ended;
}

bool Interpreter::skipTo(LineSource &source, const QByteArray &label, std::initializer_list<const char *> keywords, qint64 from,
                         qint64 &found, QByteArray &keyword)
{
    for (qint64 n = from; n <= source.lineCount(); ++n) {
        const std::optional<OWord> oword = BlockReader::oWordOf(source.line(n));
        if (!oword || oword->label != label)
            continue;
        for (const char *k : keywords) {
            if (oword->keyword == k) {
                found = n;
                keyword = oword->keyword;
                return true;
            }
        }
    }
    return false;
}

// Follows an O-word statement; false when the program cannot go on.
bool Interpreter::flow(const OWord &oword, LineSource &program, qint64 number, QList<Finding> &findings)
{
    LineSource &source = *sourceFor(m_run.file, program);
    const qint64 here = m_run.line - 1; // the statement's line in its source
    const QString name = oName(oword.label);
    const auto fail = [&](const QString &why) {
        findings.append({number, why});
        return false;
    };
    // Passes to the line after the first of `keywords` with this label, or fails.
    const auto jumpPast = [&](std::initializer_list<const char *> keywords, const char *what) {
        qint64 found = 0;
        QByteArray keyword;
        if (!skipTo(source, oword.label, keywords, here + 1, found, keyword))
            return fail(QStringLiteral("%1 %2 has no %1 %3").arg(name, QString::fromLatin1(oword.keyword), QLatin1String(what)));
        m_run.line = found + 1;
        return true;
    };
    // Passes to the line of the first of `keywords`, to read it next.
    const auto jumpTo = [&](std::initializer_list<const char *> keywords, const char *what) {
        if (!jumpPast(keywords, what))
            return false;
        --m_run.line;
        return true;
    };
    const auto condition = [&]() -> std::optional<bool> {
        if (oword.values.size() != 1) {
            fail(QStringLiteral("%1 %2 needs one condition in brackets").arg(name, QString::fromLatin1(oword.keyword)));
            return std::nullopt;
        }
        return oword.values[0] != 0.0;
    };
    const auto top = [&](const char *keyword) -> RunState::Frame * {
        if (m_run.frames.isEmpty() || m_run.frames.last().label != oword.label || m_run.frames.last().keyword != keyword)
            return nullptr;
        return &m_run.frames.last();
    };
    const QByteArray &k = oword.keyword;

    if (k.isEmpty()) {
        // A program's number (what follows runs as it stands), or a numbered subroutine that the
        // program comes upon before its end: passed over to its M99, as a control that keeps its
        // subroutines after the main program's lines does.
        for (qint64 n = here + 1; n <= source.lineCount(); ++n) {
            const QByteArrayView text = source.line(n);
            if (hasCode(text, 'm', 2) || hasCode(text, 'm', 30) || text.trimmed() == QByteArrayView("%"))
                return true;
            if (hasCode(text, 'm', 99)) {
                if (m_run.file.isEmpty())
                    m_run.subroutines.insert(oword.label, here);
                m_run.line = n + 1;
                return true;
            }
        }
        return true;
    }
    if (k == "sub") {
        // A definition, passed over where it stands; remembered for the calls.
        if (m_run.file.isEmpty())
            m_run.subroutines.insert(oword.label, here);
        return jumpPast({"endsub"}, "endsub");
    }
    if (k == "endsub" || k == "return") {
        qsizetype i = m_run.frames.size() - 1;
        while (i >= 0 && m_run.frames[i].keyword != "sub")
            --i;
        if (i < 0 || m_run.frames[i].label != oword.label)
            return fail(QStringLiteral("%1 %2 with no call of %1 under way").arg(name, QString::fromLatin1(k)));
        const RunState::Frame frame = m_run.frames[i];
        m_run.frames.resize(i);
        m_run.parameters.endCall();
        if (frame.restoreModes)
            putModesBack(m_run.modal, frame.savedModes);
        m_run.parameters.setNamed("_value", oword.values.value(0, 0.0));
        m_run.parameters.setNamed("_value_returned", oword.values.isEmpty() ? 0.0 : 1.0);
        m_run.file = frame.file;
        m_run.line = frame.returnLine;
        return true;
    }
    if (k == "call") {
        if (m_run.parameters.callDepth() >= kDeepestCall)
            return fail(QStringLiteral("%1 call: calls are nested more than %2 deep").arg(name).arg(kDeepestCall));
        QString file;
        qint64 start = 0;
        if (const auto it = m_run.subroutines.constFind(oword.label); it != m_run.subroutines.constEnd()) {
            start = *it;
        } else {
            // Defined further on in the program, or in a file of its own in the subroutine folder.
            qint64 found = 0;
            QByteArray keyword;
            if (skipTo(program, oword.label, {"sub"}, 1, found, keyword)) {
                start = found;
                m_run.subroutines.insert(oword.label, found);
            } else {
                const QString base = oword.label.startsWith('<') ? QString::fromLatin1(oword.label.mid(1, oword.label.size() - 2))
                                                                 : QString::fromLatin1(oword.label);
                const QString path = m_setup.subroutineFolder.isEmpty()
                                         ? QString()
                                         : QDir(m_setup.subroutineFolder).filePath(base + QStringLiteral(".ngc"));
                QFile in(path);
                // The call is passed over and the program goes on: what the subroutine would
                // have done is missing, and the finding says so.
                if (path.isEmpty() || !in.open(QIODevice::ReadOnly))
                    return fail(QStringLiteral("%1 call: there is no subroutine %1 in the program%2; the call is passed over").arg(name,
                                    path.isEmpty() ? QString() : QStringLiteral(" or in %1").arg(path))), true;
                auto lines = std::make_shared<TextLines>(in.readAll());
                if (!skipTo(*lines, oword.label, {"sub"}, 1, found, keyword))
                    return fail(QStringLiteral("%1 call: %2 has no %1 sub").arg(name, path));
                m_files.insert(path, lines);
                file = QFileInfo(path).absoluteFilePath();
                if (file != path) {
                    m_files.insert(file, lines);
                }
                start = found;
            }
        }
        RunState::Frame frame;
        frame.label = oword.label;
        frame.keyword = "sub";
        frame.file = m_run.file;
        frame.calledFile = file;
        frame.returnLine = m_run.line;
        m_run.frames.append(frame);
        m_run.parameters.beginCall(oword.values);
        if (!file.isEmpty())
            m_run.file = file;
        m_run.line = start + 1;
        return true;
    }
    if (k == "if") {
        const std::optional<bool> c = condition();
        if (!c)
            return false;
        RunState::Frame frame;
        frame.label = oword.label;
        frame.keyword = "if";
        frame.conditionMet = *c;
        m_run.frames.append(frame);
        return *c || jumpTo({"elseif", "else", "endif"}, "endif");
    }
    if (k == "elseif" || k == "else") {
        RunState::Frame *frame = top("if");
        if (!frame)
            return fail(QStringLiteral("%1 %2 with no %1 if").arg(name, QString::fromLatin1(k)));
        if (frame->conditionMet) {
            m_run.frames.removeLast();
            return jumpPast({"endif"}, "endif");
        }
        if (k == "else") {
            frame->conditionMet = true;
            return true;
        }
        const std::optional<bool> c = condition();
        if (!c)
            return false;
        frame->conditionMet = *c;
        return *c || jumpTo({"elseif", "else", "endif"}, "endif");
    }
    if (k == "endif") {
        if (!top("if"))
            return fail(QStringLiteral("%1 endif with no %1 if").arg(name));
        m_run.frames.removeLast();
        return true;
    }
    if (k == "do") {
        RunState::Frame frame;
        frame.label = oword.label;
        frame.keyword = "do";
        frame.returnLine = here + 1;
        m_run.frames.append(frame);
        return true;
    }
    if (k == "while") {
        const std::optional<bool> c = condition();
        if (!c)
            return false;
        if (RunState::Frame *frame = top("do")) {
            // The end of a do loop.
            if (!*c) {
                m_run.frames.removeLast();
                return true;
            }
            if (++frame->repeatsLeft >= m_setup.mostPasses)
                return fail(QStringLiteral("%1 do has run %2 times; taken as a loop that never ends").arg(name).arg(m_setup.mostPasses));
            m_run.line = frame->returnLine;
            return true;
        }
        RunState::Frame *frame = top("while");
        if (!*c) {
            if (frame)
                m_run.frames.removeLast();
            return jumpPast({"endwhile"}, "endwhile");
        }
        if (!frame) {
            RunState::Frame fresh;
            fresh.label = oword.label;
            fresh.keyword = "while";
            fresh.returnLine = here;
            m_run.frames.append(fresh);
        } else if (++frame->repeatsLeft >= m_setup.mostPasses) {
            return fail(QStringLiteral("%1 while has run %2 times; taken as a loop that never ends").arg(name).arg(m_setup.mostPasses));
        }
        return true;
    }
    if (k == "endwhile") {
        RunState::Frame *frame = top("while");
        if (!frame)
            return fail(QStringLiteral("%1 endwhile with no %1 while").arg(name));
        m_run.line = frame->returnLine; // the while, to be read again
        return true;
    }
    if (k == "repeat") {
        if (oword.values.size() != 1)
            return fail(QStringLiteral("%1 repeat needs its count in brackets").arg(name));
        const double times = std::round(oword.values[0]);
        if (times < 1)
            return jumpPast({"endrepeat"}, "endrepeat");
        if (times > m_setup.mostPasses)
            return fail(QStringLiteral("%1 repeat [%2]: more than %3 passes").arg(name).arg(times).arg(m_setup.mostPasses));
        RunState::Frame frame;
        frame.label = oword.label;
        frame.keyword = "repeat";
        frame.returnLine = here + 1;
        frame.repeatsLeft = times;
        m_run.frames.append(frame);
        return true;
    }
    if (k == "endrepeat") {
        RunState::Frame *frame = top("repeat");
        if (!frame)
            return fail(QStringLiteral("%1 endrepeat with no %1 repeat").arg(name));
        if (--frame->repeatsLeft >= 1)
            m_run.line = frame->returnLine;
        else
            m_run.frames.removeLast();
        return true;
    }
    if (k == "break" || k == "continue") {
        qsizetype i = m_run.frames.size() - 1;
        while (i >= 0 && !(m_run.frames[i].label == oword.label && m_run.frames[i].keyword != "if" && m_run.frames[i].keyword != "sub"))
            --i;
        if (i < 0)
            return fail(QStringLiteral("%1 %2 outside a loop %1").arg(name, QString::fromLatin1(k)));
        const RunState::Frame loop = m_run.frames[i];
        m_run.frames.resize(i + 1);
        if (loop.keyword == "while") {
            if (k == "continue") {
                m_run.line = loop.returnLine;
                return true;
            }
            m_run.frames.removeLast();
            return jumpPast({"endwhile"}, "endwhile");
        }
        if (loop.keyword == "do") {
            if (k == "continue")
                return jumpTo({"while"}, "while");
            m_run.frames.removeLast();
            return jumpPast({"while"}, "while");
        }
        // repeat
        if (k == "continue")
            return jumpTo({"endrepeat"}, "endrepeat");
        m_run.frames.removeLast();
        return jumpPast({"endrepeat"}, "endrepeat");
    }
    return fail(QStringLiteral("%1 %2 is not followed").arg(name, QString::fromLatin1(k)));
}

bool Interpreter::callByM98(LineSource &program, qint64 number, QList<Finding> &findings)
{
    const std::optional<double> &p = m_block.word('P');
    if (!p || *p < 0 || *p != std::floor(*p)) {
        findings.append({number, QStringLiteral("M98 needs the subroutine's number in a P word")});
        return true;
    }
    double times = m_block.word('L').value_or(1.0);
    qint64 programNumber = static_cast<qint64>(*p);
    if (m_setup.dialect == Dialect::Fanuc && programNumber > 9999 && !m_block.word('L')) {
        // P00021234: two passes of O1234.
        times = static_cast<double>(programNumber / 10000);
        programNumber %= 10000;
    }
    if (times < 1)
        return true;
    return callProgram(program, number, programNumber, "m98", times, {}, findings);
}

bool Interpreter::callByG65(LineSource &program, qint64 number, QList<Finding> &findings)
{
    const std::optional<double> &p = m_block.word('P');
    if (!p || *p < 0 || *p != std::floor(*p)) {
        findings.append({number, QStringLiteral("G65 needs the macro's number in a P word")});
        return true;
    }
    QList<double> arguments(Parameters::kLocalCount, 0.0);
    for (const G65Argument &a : kG65Arguments) {
        if (const std::optional<double> &v = m_block.word(a.letter))
            arguments[a.number - 1] = *v;
    }
    const double times = m_block.word('L').value_or(1.0);
    if (times < 1)
        return true;
    return callProgram(program, number, static_cast<qint64>(*p), "g65", times, arguments, findings);
}

// Finds O`programNumber` in the program, or in a file of its own in the subroutine folder (named
// O1234 or 1234, with any extension), and starts it.
bool Interpreter::callProgram(LineSource &program, qint64 number, qint64 programNumber, const char *how, double times,
                              const QList<double> &arguments, QList<Finding> &findings)
{
    const QByteArray label = QByteArray::number(programNumber);
    const QString name = QStringLiteral("O%1").arg(programNumber);
    if (m_run.frames.size() >= kDeepestCall) {
        findings.append({number, QStringLiteral("%1: calls are nested more than %2 deep").arg(name).arg(kDeepestCall)});
        return false;
    }
    QString file;
    qint64 start = m_run.subroutines.value(label, 0);
    if (!start) {
        qint64 found = 0;
        QByteArray keyword;
        if (skipTo(program, label, {""}, 1, found, keyword)) {
            start = found;
            m_run.subroutines.insert(label, start);
        } else {
            QString path;
            if (!m_setup.subroutineFolder.isEmpty()) {
                const QDir folder(m_setup.subroutineFolder);
                for (const QString &entry : folder.entryList(QDir::Files)) {
                    const QString base = QFileInfo(entry).completeBaseName();
                    if (base.compare(name, Qt::CaseInsensitive) == 0 || base == QString::number(programNumber) ||
                        base.compare(QStringLiteral("O%1").arg(programNumber, 4, 10, QLatin1Char('0')), Qt::CaseInsensitive) == 0) {
                        path = folder.absoluteFilePath(entry);
                        break;
                    }
                }
            }
            QFile in(path);
            if (path.isEmpty() || !in.open(QIODevice::ReadOnly)) {
                findings.append({number, QStringLiteral("%1 is not in the program%2; the call is passed over")
                                             .arg(name, m_setup.subroutineFolder.isEmpty() ? QString()
                                                                                            : QStringLiteral(" or in %1").arg(m_setup.subroutineFolder))});
                return true;
            }
            auto lines = std::make_shared<TextLines>(in.readAll());
            // The file's own O line, if it has one, is where it starts; else its first line.
            start = skipTo(*lines, label, {""}, 1, found, keyword) ? found : 0;
            m_files.insert(path, lines);
            file = path;
        }
    }
    RunState::Frame frame;
    frame.label = label;
    frame.keyword = how;
    frame.file = m_run.file;
    frame.returnLine = m_run.line;
    frame.repeatsLeft = times;
    frame.start = start;
    frame.calledFile = file;
    frame.arguments = arguments;
    m_run.frames.append(frame);
    if (frame.keyword == "g65")
        m_run.parameters.beginCall(arguments);
    m_run.file = file;
    m_run.line = start + 1;
    return true;
}

void Interpreter::returnByM99(LineSource &, qint64 number, QList<Finding> &findings)
{
    qsizetype i = m_run.frames.size() - 1;
    while (i >= 0 && m_run.frames[i].keyword != "m98" && m_run.frames[i].keyword != "g65")
        --i;
    if (i < 0) {
        findings.append({number, QStringLiteral("M99 with no M98 call under way ends the program here")});
        m_run.ended = true;
        return;
    }
    m_run.frames.resize(i + 1);
    RunState::Frame &frame = m_run.frames.last();
    if (--frame.repeatsLeft >= 1) {
        m_run.file = frame.calledFile;
        m_run.line = frame.start + 1;
        if (frame.keyword == "g65") {
            // Each pass of a macro starts with its arguments as they were given.
            QList<double> arguments;
            m_run.parameters.endCall();
            for (int n = 1; n <= Parameters::kLocalCount; ++n)
                arguments.append(frame.arguments.value(n - 1));
            m_run.parameters.beginCall(arguments);
        }
        return;
    }
    if (frame.keyword == "g65")
        m_run.parameters.endCall();
    m_run.file = frame.file;
    m_run.line = frame.returnLine;
    m_run.frames.removeLast();
}

namespace {

// The number of a line's N word, read without working out anything.
std::optional<double> sequenceNumberOf(QByteArrayView line)
{
    QByteArray text;
    if (!compact(line, text, nullptr, nullptr))
        return std::nullopt;
    qsizetype p = text.startsWith('/') ? 1 : 0;
    if (p >= text.size() || text[p] != 'n')
        return std::nullopt;
    const qsizetype start = ++p;
    while (p < text.size() && ((text[p] >= '0' && text[p] <= '9') || text[p] == '.'))
        ++p;
    if (p == start)
        return std::nullopt;
    return text.mid(start, p - start).toDouble();
}

} // namespace

// Follows a Fanuc macro statement; false when the program cannot go on.
bool Interpreter::macroFlow(const Statement &statement, LineSource &program, qint64 number, QList<Finding> &findings)
{
    LineSource &source = *sourceFor(m_run.file, program);
    const qint64 here = m_run.line - 1;
    const auto fail = [&](const QString &why) {
        findings.append({number, why});
        return false;
    };
    const auto loopLabel = [](double m) { return QByteArray("do") + QByteArray::number(static_cast<int>(m)); };
    switch (statement.kind) {
    case Statement::Kind::If:
        if (statement.condition == 0.0)
            return true;
        [[fallthrough]];
    case Statement::Kind::Goto: {
        // To the line of N `target`: looked for after this line, then from the start.
        const QByteArray key = "n" + QByteArray::number(statement.target, 'g', 12) + (m_run.file.isEmpty() ? QByteArray() : "@" + m_run.file.toUtf8());
        qint64 found = m_run.subroutines.value(key, 0);
        for (qint64 n = here + 1; !found && n <= source.lineCount(); ++n) {
            if (sequenceNumberOf(source.line(n)) == statement.target)
                found = n;
        }
        for (qint64 n = 1; !found && n <= here; ++n) {
            if (sequenceNumberOf(source.line(n)) == statement.target)
                found = n;
        }
        if (!found)
            return fail(QStringLiteral("GOTO %1: there is no N%1 in the program").arg(statement.target));
        m_run.subroutines.insert(key, found);
        // A jump out of loops leaves them.
        while (!m_run.frames.isEmpty() && m_run.frames.last().keyword == "while" && m_run.frames.last().label.startsWith("do"))
            m_run.frames.removeLast();
        m_run.line = found;
        return true;
    }
    case Statement::Kind::While: {
        const QByteArray label = loopLabel(statement.target);
        const bool onTop = !m_run.frames.isEmpty() && m_run.frames.last().label == label && m_run.frames.last().keyword == "while";
        if (statement.condition == 0.0) {
            if (onTop)
                m_run.frames.removeLast();
            for (qint64 n = here + 1; n <= source.lineCount(); ++n) {
                if (endNumberOf(source.line(n)) == static_cast<int>(statement.target)) {
                    m_run.line = n + 1;
                    return true;
                }
            }
            return fail(QStringLiteral("WHILE ... DO%1 has no END%1").arg(statement.target));
        }
        if (!onTop) {
            RunState::Frame frame;
            frame.label = label;
            frame.keyword = "while";
            frame.returnLine = here;
            m_run.frames.append(frame);
        } else if (++m_run.frames.last().repeatsLeft >= m_setup.mostPasses) {
            return fail(QStringLiteral("WHILE ... DO%1 has run %2 times; taken as a loop that never ends").arg(statement.target).arg(m_setup.mostPasses));
        }
        return true;
    }
    case Statement::Kind::End: {
        const QByteArray label = loopLabel(statement.target);
        if (m_run.frames.isEmpty() || m_run.frames.last().label != label)
            return fail(QStringLiteral("END%1 with no WHILE ... DO%1").arg(statement.target));
        m_run.line = m_run.frames.last().returnLine;
        return true;
    }
    }
    return true;
}

namespace {
using namespace statebytes;
constexpr quint32 kStateVersion = 1;
} // namespace

QByteArray RunState::encode() const
{
    QByteArray out;
    put(out, kStateVersion);
    put(out, line);
    putText(out, file.toUtf8());
    put(out, ended);
    put(out, percentSeen);
    put(out, modal);
    put(out, modesSaved);
    put(out, savedModes);
    parameters.encode(out);
    put(out, static_cast<qint32>(frames.size()));
    for (const Frame &f : frames) {
        putText(out, f.label);
        putText(out, f.keyword);
        putText(out, f.file.toUtf8());
        put(out, f.returnLine);
        put(out, f.repeatsLeft);
        put(out, f.conditionMet);
        put(out, f.restoreModes);
        put(out, f.savedModes);
        put(out, f.start);
        putText(out, f.calledFile.toUtf8());
        put(out, static_cast<qint32>(f.arguments.size()));
        for (const double v : f.arguments)
            put(out, v);
    }
    put(out, static_cast<qint32>(subroutines.size()));
    for (auto it = subroutines.constBegin(); it != subroutines.constEnd(); ++it) {
        putText(out, it.key());
        put(out, it.value());
    }
    return out;
}

bool RunState::decode(QByteArrayView in)
{
    quint32 version = 0;
    QByteArray text;
    if (!get(in, version) || version != kStateVersion || !get(in, line) || !getText(in, text))
        return false;
    file = QString::fromUtf8(text);
    if (!get(in, ended) || !get(in, percentSeen) || !get(in, modal) || !get(in, modesSaved) || !get(in, savedModes) ||
        !parameters.decode(in))
        return false;
    qint32 n = 0;
    if (!get(in, n) || n < 0)
        return false;
    frames.clear();
    for (qint32 i = 0; i < n; ++i) {
        Frame f;
        if (!getText(in, f.label) || !getText(in, f.keyword) || !getText(in, text) || !get(in, f.returnLine) ||
            !get(in, f.repeatsLeft) || !get(in, f.conditionMet) || !get(in, f.restoreModes) || !get(in, f.savedModes))
            return false;
        f.file = QString::fromUtf8(text);
        qint32 count = 0;
        if (!get(in, f.start) || !getText(in, text) || !get(in, count) || count < 0 || count > Parameters::kLocalCount)
            return false;
        f.calledFile = QString::fromUtf8(text);
        f.arguments.clear();
        for (qint32 a = 0; a < count; ++a) {
            double v = 0;
            if (!get(in, v))
                return false;
            f.arguments.append(v);
        }
        frames.append(f);
    }
    if (!get(in, n) || n < 0)
        return false;
    subroutines.clear();
    for (qint32 i = 0; i < n; ++i) {
        QByteArray label;
        qint64 at = 0;
        if (!getText(in, label) || !get(in, at))
            return false;
        subroutines.insert(label, at);
    }
    return in.isEmpty();
}

} // namespace interp
