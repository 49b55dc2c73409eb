#pragma once

#include "filter.h"
#include "format.h"
#include "linenumbers.h"
#include "linerange.h"
#include "mirror.h"
#include "operations.h"
#include "operationsplus.h"
#include "spaces.h"

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
// "Operations Plus": Text1, g, l, e, n, Text2, rp, cp, Option1 ... Option4, txtValue, txtAxis,
// ALL, LINE2LINE, StartLine, EndLine, Check1, Check2, inc1 ... inc4, inc.
QString operationsPlusStep(const OperationsPlusSettings &settings, const RangeFields &range,
                           const QString &separator);
// "Number": add, remove, ALL, LINE2LINE, StartLine, EndLine, Option1, Check1, Option2,
// txtStartNumber, txtInc, Check2.
QString lineNumberStep(const LineNumberSettings &settings, const RangeFields &range, const QString &separator);
// "Space": add, remove, ALL, LINE2LINE, StartLine, EndLine.
QString spaceStep(const SpaceSettings &settings, const RangeFields &range, const QString &separator);
// "Remove Comments": ALL, LINE2LINE, StartLine, EndLine.
QString removeCommentsStep(const RangeFields &range, const QString &separator);
// "Filter": txtValue, txtAxis, ALL, LINE2LINE, StartLine, EndLine.
QString filterStep(const FilterSettings &settings, const RangeFields &range, const QString &separator);
// "Format": txtAxis, ALL, LINE2LINE, StartLine, EndLine.
QString formatStep(const FormatSettings &settings, const RangeFields &range, const QString &separator);

} // namespace tools
