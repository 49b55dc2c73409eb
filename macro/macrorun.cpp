#include "macrorun.h"

#include "program.h"
#include "replace.h"
#include "stepfields.h"
#include "steptools.h"

#include <QElapsedTimer>
#include <QScopeGuard>

namespace macro {

QString StepResult::logLine() const
{
    return macro::logLine(number, step.stepType, step.comment, ms, outcome, reason, note);
}

StepResult &StepResult::refuse(const QString &why)
{
    outcome = StepOutcome::Refused;
    reason = why;
    return *this;
}

bool RunResult::allRan(int stepCount) const
{
    if (!started || stopped || steps.size() != stepCount)
        return false;
    for (const StepResult &step : steps) {
        if (step.outcome != StepOutcome::Ran)
            return false;
    }
    return true;
}

QString RunResult::runLog() const
{
    QString log;
    for (const StepResult &step : steps)
        log += step.logLine();
    return log;
}

MacroRunner::MacroRunner(StepDriver &driver) : m_driver(driver) {}

void MacroRunner::setStopRequested(std::function<bool()> stop)
{
    m_stop = std::move(stop);
}

RunResult MacroRunner::run(const QList<MacroStep> &steps)
{
    RunResult result;
    if (m_running || !m_driver.begin())
        return result;
    m_running = true;
    // Whatever way the run ends, the driver gives back what it took.
    const auto idle = qScopeGuard([this] {
        m_running = false;
        m_driver.end();
    });
    result.started = true;
    result.startedAt = QDateTime::currentDateTime();
    QElapsedTimer total;
    total.start();
    const auto count = static_cast<int>(steps.size());
    for (int k = 1; k <= count; ++k) {
        if (m_stop && m_stop()) {
            result.stopped = true;
            break;
        }
        QElapsedTimer clock;
        clock.start();
        emit stepStarted(k, count);
        StepResult step = m_driver.runStep(steps[k - 1]);
        step.number = k;
        step.count = count;
        step.step = steps[k - 1];
        step.ms = clock.elapsed();
        result.steps.append(step);
        emit stepFinished(step);
    }
    result.ms = total.elapsed();
    result.endedAt = QDateTime::currentDateTime();
    return result;
}

ToolFromStep stepTool(const QString &stepName)
{
    static const struct
    {
        const char *step;
        ToolFromStep make;
    } kTools[] = {
        {"Operations", &tools::OperationsTool::fromStep},
        {"Operations Plus", &tools::OperationsPlusTool::fromStep},
        {"Replace", &search::ReplaceTool::fromStep},
        {"Insert File", &tools::InsertFileTool::fromStep},
        {"Remove Comments", &tools::RemoveCommentsTool::fromStep},
        {"Remove Lines", &tools::RemoveLinesTool::fromStep},
        {"Filter", &tools::FilterTool::fromStep},
        {"Format", &tools::FormatTool::fromStep},
        {"Mirror", &tools::MirrorTool::fromStep},
        {"Number", &tools::LineNumberTool::fromStep},
        {"Space", &tools::SpaceTool::fromStep},
    };
    for (const auto &tool : kTools) {
        if (stepName == QLatin1String(tool.step))
            return tool.make;
    }
    return nullptr;
}

ProgramSteps::ProgramSteps(tools::RunPlace place, QString separator)
    : m_place(std::move(place)), m_separator(std::move(separator))
{
}

bool ProgramSteps::begin()
{
    return m_place.program.isOpen() && m_place.program.lock.take();
}

void ProgramSteps::end()
{
    m_place.program.lock.release();
}

StepResult ProgramSteps::runStep(const MacroStep &step)
{
    StepResult result;
    const ToolFromStep make = stepTool(step.stepType);
    if (!make)
        return result.refuse(QStringLiteral("There is no %1 tool here to run the step with.").arg(step.stepType));
    // The window would open on the program as it stands: its range from the current line to the last.
    const QString caret = QString::number(m_place.caretLine);
    const bool bothOnCaret = step.stepType == QLatin1String("Remove Lines");
    const tools::RangeFields opened{true, false, caret,
                                    bothOnCaret ? caret : QString::number(m_place.program.lineCount())};
    const tools::StepForm form = tools::StepForm::read(step.stepType, step.stepSettings, m_separator, opened);
    if (!form.ok())
        return result.refuse(form.error);
    if (form.mode() == 0)
        return result.refuse(QStringLiteral("The step names none of its window's buttons to press, so nothing was run."));
    const std::unique_ptr<tools::Tool> tool = make(form);
    tools::RunFeedback quiet;
    const tools::ToolOutcome outcome = tools::runTool(*tool, m_place, feedback ? *feedback : quiet);
    if (!outcome.ran)
        return result.refuse(outcome.message.isEmpty() ? QStringLiteral("The tool did not run.") : outcome.message);
    result.note = outcome.note.textWithoutTime();
    if (!outcome.message.isEmpty()) {
        result.outcome = StepOutcome::Failed;
        result.reason = outcome.message;
    }
    return result;
}

} // namespace macro
