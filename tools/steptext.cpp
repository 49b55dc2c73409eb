#include "steptext.h"

namespace tools {

StepText &StepText::text(const QString &value)
{
    m_text += value;
    m_text += m_separator;
    return *this;
}

StepText &StepText::option(bool selected)
{
    return text(selected ? QStringLiteral("True") : QStringLiteral("False"));
}

StepText &StepText::check(bool ticked)
{
    return text(ticked ? QStringLiteral("1") : QStringLiteral("0"));
}

StepText &StepText::range(const RangeFields &fields)
{
    return option(fields.all).option(fields.line2line).text(fields.startLine).text(fields.endLine);
}

QString operationsStep(const OperationsSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    for (Operation op : {Operation::Add, Operation::Subtract, Operation::Multiply, Operation::Divide})
        step.option(settings.operation == op);
    step.text(settings.value).text(settings.axis).range(range);
    return step.result();
}

QString mirrorStep(const MirrorSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.text(settings.value).text(settings.axis).range(range).check(settings.swapArcs).check(settings.swapCompensation);
    return step.result();
}

QString operationsPlusStep(const OperationsPlusSettings &settings, const RangeFields &range,
                           const QString &separator)
{
    StepText step(separator);
    step.text(settings.conditionAxis);
    for (Comparison c : {Comparison::Greater, Comparison::Less, Comparison::Equal, Comparison::NotEqual})
        step.option(settings.comparison == c);
    step.text(settings.conditionValue).option(settings.realPosition).option(!settings.realPosition);
    for (Operation op : {Operation::Add, Operation::Subtract, Operation::Multiply, Operation::Divide})
        step.option(settings.operation == op);
    step.text(settings.value).text(settings.axis).range(range);
    step.check(settings.stepOnReplacement).check(settings.stepOnLine);
    for (Operation op : {Operation::Add, Operation::Subtract, Operation::Multiply, Operation::Divide})
        step.option(settings.stepOperation == op);
    step.text(settings.step);
    return step.result();
}

QString lineNumberStep(const LineNumberSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.option(settings.add).option(!settings.add).range(range);
    step.option(settings.realLineNumbers).check(settings.spaceAfter).option(!settings.realLineNumbers);
    step.text(settings.startNumber).text(settings.increment).check(settings.removeExisting);
    return step.result();
}

QString spaceStep(const SpaceSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.option(settings.add).option(!settings.add).range(range);
    return step.result();
}

QString removeCommentsStep(const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.range(range);
    return step.result();
}

QString filterStep(const FilterSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.text(settings.value).text(settings.axis).range(range);
    return step.result();
}

QString formatStep(const FormatSettings &settings, const RangeFields &range, const QString &separator)
{
    StepText step(separator);
    step.text(settings.axis).range(range);
    return step.result();
}

} // namespace tools
