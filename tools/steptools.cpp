#include "steptools.h"

#include "controlerror.h"
#include "linework.h"
#include "numbers.h"
#include "program.h"
#include "removecomments.h"
#include "steptext.h"
#include "wholelines.h"
#include "wordscan.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>

#include <cmath>

namespace tools {

namespace {

// Whole-line tools report their records written of the new program's.
tessarc::ProgressReport wholeProgress(const ToolRun &run)
{
    return [&run](qint64 done, qint64 total) { run.progress(done, LineRange{0, total}); };
}

// The operation of a group of four buttons, Add unless another is chosen.
Operation chosenOperation(const StepForm &form, const char *subtract, const char *multiply, const char *divide)
{
    return form.on(subtract)   ? Operation::Subtract
           : form.on(multiply) ? Operation::Multiply
           : form.on(divide)   ? Operation::Divide
                               : Operation::Add;
}

} // namespace

// ---------------------------------------------------------------- Operations

std::unique_ptr<Tool> OperationsTool::fromStep(const StepForm &form)
{
    return toolWith<OperationsTool>(
        OperationsSettings{chosenOperation(form, "Option2", "Option3", "Option4"), form.text("txtAxis"),
                           form.text("txtValue")},
        form.range());
}

QString OperationsTool::stepSettings(const QString &separator) const
{
    return operationsStep(settings, fields, separator);
}

std::optional<QString> OperationsTool::checkFields(const RunPlace &place) const
{
    return tools::checkFields(settings, place.textNull);
}

QString OperationsTool::run(ToolRun &run, const LineRange &range)
{
    run.note().letters = letterNames({settings.axis});
    return run.rewriteRange(range, OperationsWork(settings, run.place().rules));
}

// ---------------------------------------------------------------- Operations Plus

std::unique_ptr<Tool> OperationsPlusTool::fromStep(const StepForm &form)
{
    OperationsPlusSettings s;
    s.conditionAxis = form.text("Text1");
    s.comparison = form.on("l")   ? Comparison::Less
                   : form.on("e") ? Comparison::Equal
                   : form.on("n") ? Comparison::NotEqual
                                  : Comparison::Greater;
    s.conditionValue = form.text("Text2");
    s.realPosition = !form.on("cp");
    s.operation = chosenOperation(form, "Option2", "Option3", "Option4");
    s.value = form.text("txtValue");
    s.axis = form.text("txtAxis");
    s.stepOnReplacement = form.on("Check1");
    s.stepOnLine = form.on("Check2");
    s.stepOperation = chosenOperation(form, "inc2", "inc3", "inc4");
    s.step = form.text("inc");
    return toolWith<OperationsPlusTool>(s, form.range());
}

QString OperationsPlusTool::stepSettings(const QString &separator) const
{
    return operationsPlusStep(settings, fields, separator);
}

std::optional<QString> OperationsPlusTool::checkFields(const RunPlace &place) const
{
    return tools::checkFields(settings, place.textNull);
}

QString OperationsPlusTool::run(ToolRun &run, const LineRange &range)
{
    // The value is drawn with the progress from time to time, never line by line.
    constexpr qint64 kClockEvery = 256;
    constexpr qint64 kShowValueMs = 100;
    OperationsPlusWork work(settings, run.place().rules);
    run.note().letters = letterNames({settings.conditionAxis, settings.axis});
    // However the run ends, the value it reached is told.
    const auto shown = qScopeGuard([this, &work] {
        if (showValue)
            showValue(work.value());
    });
    if (!showValue || !valueAsItGoes)
        return run.rewriteRange(range, std::ref(work));
    QElapsedTimer clock;
    clock.start();
    qint64 lines = 0;
    return run.rewriteRange(range, [this, &work, &clock, &lines](QByteArrayView line, QByteArray &out) {
        const LineFault fault = work(line, out);
        if (++lines % kClockEvery == 0 && clock.elapsed() >= kShowValueMs) {
            showValue(work.value());
            clock.restart();
        }
        return fault;
    });
}

// ---------------------------------------------------------------- Mirror, Filter, Format, Space

std::unique_ptr<Tool> MirrorTool::fromStep(const StepForm &form)
{
    return toolWith<MirrorTool>(
        MirrorSettings{form.text("txtAxis"), form.text("txtValue"), form.on("g02g03"), form.on("g41g42")}, form.range());
}

QString MirrorTool::stepSettings(const QString &separator) const
{
    return mirrorStep(settings, fields, separator);
}

std::optional<QString> MirrorTool::checkFields(const RunPlace &place) const
{
    return tools::checkFields(settings, place.textNull);
}

QString MirrorTool::run(ToolRun &run, const LineRange &range)
{
    run.note().letters = letterNames({settings.axis});
    return run.rewriteRange(range, MirrorWork(settings, run.place().rules));
}

std::unique_ptr<Tool> FilterTool::fromStep(const StepForm &form)
{
    return toolWith<FilterTool>(FilterSettings{form.text("txtAxis"), form.text("txtValue")}, form.range());
}

QString FilterTool::stepSettings(const QString &separator) const
{
    return filterStep(settings, fields, separator);
}

std::optional<QString> FilterTool::checkFields(const RunPlace &place) const
{
    return tools::checkFields(settings, place.textNull);
}

QString FilterTool::run(ToolRun &run, const LineRange &range)
{
    FilterWork work(settings, run.place().rules);
    run.note().letters = letterNames({settings.axis});
    return run.rewriteRange(range, std::ref(work));
}

std::unique_ptr<Tool> FormatTool::fromStep(const StepForm &form)
{
    return toolWith<FormatTool>(FormatSettings{form.text("txtAxis")}, form.range());
}

QString FormatTool::stepSettings(const QString &separator) const
{
    return formatStep(settings, fields, separator);
}

std::optional<QString> FormatTool::checkFields(const RunPlace &place) const
{
    return tools::checkFields(settings, place.textNull);
}

QString FormatTool::run(ToolRun &run, const LineRange &range)
{
    // The picture as Options last set it.
    run.note().letters = letterNames({settings.axis});
    return run.rewriteRange(range, FormatWork(settings, run.place().rules));
}

std::unique_ptr<Tool> SpaceTool::fromStep(const StepForm &form)
{
    return toolWith<SpaceTool>(SpaceSettings{!form.on("remove")}, form.range());
}

QString SpaceTool::stepSettings(const QString &separator) const
{
    return spaceStep(settings, fields, separator);
}

QString SpaceTool::run(ToolRun &run, const LineRange &range)
{
    return run.rewriteRange(range, SpaceWork(settings, run.place().rules));
}

// ---------------------------------------------------------------- Number

std::unique_ptr<Tool> LineNumberTool::fromStep(const StepForm &form)
{
    return toolWith<LineNumberTool>(LineNumberSettings{form.on("add"), !form.on("Option2"), form.text("txtStartNumber"),
                                                       form.text("txtInc"), form.on("Check1"), form.on("Check2")},
                                    form.range());
}

QString LineNumberTool::stepSettings(const QString &separator) const
{
    return lineNumberStep(settings, fields, separator);
}

std::optional<QString> LineNumberTool::checkRun(const LineRange &range, const RunPlace &place) const
{
    return tools::checkFields(settings, range, place.textNull);
}

QString LineNumberTool::run(ToolRun &run, const LineRange &range)
{
    LineNumberWork work(settings, range, run.place().rules);
    return run.rewriteRange(range, std::ref(work));
}

// ---------------------------------------------------------------- Remove Comments

std::unique_ptr<Tool> RemoveCommentsTool::fromStep(const StepForm &form)
{
    auto tool = std::make_unique<RemoveCommentsTool>();
    tool->fields = form.range();
    return tool;
}

QString RemoveCommentsTool::stepSettings(const QString &separator) const
{
    return removeCommentsStep(fields, separator);
}

QString RemoveCommentsTool::run(ToolRun &run, const LineRange &range)
{
    // The delimiters and the kept commands as Options last set them.
    RemoveCommentsWork work(run.place().rules.comments, CommentCommands(run.place().commentCommands));
    const QString stopped = run.rewriteRange(range, std::ref(work));
    if (work.kept() > 0)
        run.note().remark = work.kept() == 1 ? QStringLiteral("1 command comment kept")
                                             : QStringLiteral("%1 command comments kept").arg(work.kept());
    return stopped;
}

// ---------------------------------------------------------------- Insert File, Remove Lines

std::unique_ptr<Tool> InsertFileTool::fromStep(const StepForm &form)
{
    auto tool = std::make_unique<InsertFileTool>();
    tool->path = form.text("Command1");
    tool->fields = form.range();
    return tool;
}

QString InsertFileTool::stepSettings(const QString &separator) const
{
    return insertFileStep(path, fields.startLine, separator);
}

std::optional<QString> InsertFileTool::checkFields(const RunPlace &) const
{
    if (!QFileInfo(path).isFile())
        return QStringLiteral("Bad Filename");
    return std::nullopt;
}

std::optional<LineRange> InsertFileTool::checkRange(const RunPlace &place) const
{
    // Line 0 is a place to insert at: before the first line.
    if (!functions::isNumeric(fields.startLine))
        return std::nullopt;
    const double after = std::floor(functions::leadingNumber(fields.startLine));
    if (!(after >= 0) || after > static_cast<double>(place.program.lineCount()))
        return std::nullopt;
    return LineRange{static_cast<qint64>(after), static_cast<qint64>(after)};
}

QString InsertFileTool::run(ToolRun &run, const LineRange &range)
{
    try {
        insertFile(run.program(), path, range.first, wholeProgress(run));
    } catch (const tessarc::ControlError &error) {
        return failureText(error, QStringLiteral("Nothing was inserted; the program is as it was."));
    }
    return QString();
}

std::unique_ptr<Tool> RemoveLinesTool::fromStep(const StepForm &form)
{
    auto tool = std::make_unique<RemoveLinesTool>();
    tool->fields.startLine = form.text("StartLine");
    tool->fields.endLine = form.text("EndLine");
    return tool;
}

QString RemoveLinesTool::stepSettings(const QString &separator) const
{
    return removeLinesStep(fields.startLine, fields.endLine, separator);
}

QString RemoveLinesTool::run(ToolRun &run, const LineRange &range)
{
    try {
        removeLines(run.program(), range.first, range.last, wholeProgress(run));
    } catch (const tessarc::ControlError &error) {
        return failureText(error, QStringLiteral("No line was removed."));
    }
    return QString();
}

} // namespace tools
