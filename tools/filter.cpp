#include "filter.h"

#include "axislookup.h"
#include "numbers.h"

#include <cmath>
#include <cstring>

namespace tools {

std::optional<QString> checkFields(const FilterSettings &settings, const QString &textNull)
{
    if (settings.value.isEmpty() || functions::reducedAxis(settings.axis).isEmpty()
        || !functions::isNumeric(settings.value))
        return textNull;
    return std::nullopt;
}

FilterWork::FilterWork(const FilterSettings &settings, const LineRules &rules)
    : m_letter(settings.axis), m_tolerance(std::fabs(functions::leadingNumber(settings.value))),
      m_spaces(rules.spaces)
{
}

LineFault FilterWork::operator()(QByteArrayView line, QByteArray &out)
{
    const qsizetype p = m_letter.find(line);
    const Word word = p < 0 ? Word{} : readWord(line, p, m_spaces);
    if (!word.digits) {
        copyLine(line, out);
        return LineFault::None;
    }
    if (m_anyKept && std::fabs(word.value - m_last) <= m_tolerance) {
        const qsizetype rest = line.size() - word.end;
        out.resize(p + rest);
        std::memcpy(out.data(), line.data(), static_cast<size_t>(p));
        if (rest > 0)
            std::memcpy(out.data() + p, line.data() + word.end, static_cast<size_t>(rest));
        return LineFault::None;
    }
    m_anyKept = true;
    m_last = word.value;
    copyLine(line, out);
    return LineFault::None;
}

} // namespace tools
