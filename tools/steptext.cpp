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

} // namespace tools
