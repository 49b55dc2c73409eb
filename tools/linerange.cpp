#include "linerange.h"

#include "numbers.h"

#include <cmath>

namespace tools {

bool startLineRefused(const QString &text, qint64 numberOfLines, bool upperTest)
{
    const double n = functions::leadingNumber(text);
    return n < 1 || (upperTest && n > static_cast<double>(numberOfLines));
}

bool endLineRefused(const QString &text, qint64 numberOfLines)
{
    const double n = functions::leadingNumber(text);
    return n < 1 || n > static_cast<double>(numberOfLines);
}

std::optional<LineRange> checkRange(const RangeFields &fields, qint64 numberOfLines)
{
    if (!functions::isNumeric(fields.startLine) || !functions::isNumeric(fields.endLine))
        return std::nullopt;
    const double start = functions::leadingNumber(fields.startLine);
    const double end = functions::leadingNumber(fields.endLine);
    if (!(start >= 1) || !(end >= start) || !(end <= static_cast<double>(numberOfLines)))
        return std::nullopt;
    if (fields.line2line && !fields.all)
        return LineRange{static_cast<qint64>(std::floor(start)), static_cast<qint64>(std::floor(end))};
    return LineRange{1, numberOfLines};
}

std::optional<QString> progressCaption(qint64 counter, const LineRange &range, const QString &percentFormat)
{
    const qint64 span = range.last - range.first;
    if (span == 0)
        return std::nullopt;
    const double share = static_cast<double>(counter) * 100.0 / static_cast<double>(span);
    return functions::formatNumber(share, percentFormat) + QLatin1Char('%');
}

} // namespace tools
