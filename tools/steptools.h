#pragma once

#include "filter.h"
#include "format.h"
#include "linenumbers.h"
#include "mirror.h"
#include "operations.h"
#include "operationsplus.h"
#include "spaces.h"
#include "stepfields.h"
#include "tool.h"

#include <QString>
#include <functional>

// The tools a macro step can hold, each described once: its settings, its step text, its checks
// and its work on the program. A tool window makes one from its fields for Go; a step read back
// without a window (the command line) makes the same one from the step's form (fromStep).
namespace tools {

class OperationsTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    OperationsSettings settings;
    QString stepName() const override { return QStringLiteral("Operations"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class OperationsPlusTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    OperationsPlusSettings settings;
    // Told the value the run has reached once it ends, however it ends, and, when `valueAsItGoes`,
    // from time to time during the run; may be empty.
    std::function<void(const QString &value)> showValue;
    bool valueAsItGoes = false;
    QString stepName() const override { return QStringLiteral("Operations Plus"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class MirrorTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    MirrorSettings settings;
    QString stepName() const override { return QStringLiteral("Mirror"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class FilterTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    FilterSettings settings;
    QString stepName() const override { return QStringLiteral("Filter"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class FormatTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    FormatSettings settings;
    QString stepName() const override { return QStringLiteral("Format"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class LineNumberTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    LineNumberSettings settings;
    QString stepName() const override { return QStringLiteral("Number"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkRun(const LineRange &range, const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class SpaceTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    SpaceSettings settings;
    QString stepName() const override { return QStringLiteral("Space"); }
    QString stepSettings(const QString &separator) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

class RemoveCommentsTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    QString stepName() const override { return QStringLiteral("Remove Comments"); }
    QString stepSettings(const QString &separator) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

// Insert File: the file's lines after line StartLine (0: before the first line).
class InsertFileTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    QString path;
    QString stepName() const override { return QStringLiteral("Insert File"); }
    QString stepSettings(const QString &separator) const override;
    std::optional<QString> checkFields(const RunPlace &place) const override;
    std::optional<LineRange> checkRange(const RunPlace &place) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

// Remove Lines: lines StartLine to EndLine.
class RemoveLinesTool : public Tool
{
public:
    static std::unique_ptr<Tool> fromStep(const StepForm &form);
    RemoveLinesTool() { fields = {false, true, QString(), QString()}; }
    QString stepName() const override { return QStringLiteral("Remove Lines"); }
    QString stepSettings(const QString &separator) const override;
    QString run(ToolRun &run, const LineRange &range) override;
};

} // namespace tools
