#pragma once

#include "linerange.h"
#include "mirror.h"
#include "operations.h"

#include <QString>
#include <utility>

// The settings text of a recorded macro step: every field of the tool in its fixed order, each
// followed by the step field separator. A text box gives its text, an option button "True" or
// "False", a check box 1 or 0.
namespace tools {

class StepText
{
public:
    explicit StepText(QString separator) : m_separator(std::move(separator)) {}

    StepText &text(const QString &value);
    StepText &option(bool selected);
    StepText &check(bool ticked);
    // ALL, LINE2LINE, StartLine, EndLine, in that order.
    StepText &range(const RangeFields &fields);

    const QString &result() const { return m_text; }

private:
    QString m_separator;
    QString m_text;
};

// "Operations": Option1 ... Option4, txtValue, txtAxis, ALL, LINE2LINE, StartLine, EndLine.
QString operationsStep(const OperationsSettings &settings, const RangeFields &range, const QString &separator);
// "Mirror": txtValue, txtAxis, ALL, LINE2LINE, StartLine, EndLine, g02g03, g41g42.
QString mirrorStep(const MirrorSettings &settings, const RangeFields &range, const QString &separator);

} // namespace tools
