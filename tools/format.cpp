#include "format.h"

#include "axislookup.h"

namespace tools {

std::optional<QString> checkFields(const FormatSettings &settings, const QString &textNull)
{
    if (functions::reducedAxis(settings.axis).isEmpty())
        return textNull;
    return std::nullopt;
}

FormatWork::FormatWork(const FormatSettings &settings, const LineRules &rules)
    : m_letter(settings.axis), m_rules(rules), m_writer(rules.outputFormat)
{
}

LineFault FormatWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const qsizetype p = m_letter.find(line);
    if (p < 0) {
        copyLine(line, out);
        return LineFault::None;
    }
    const Word word = readWord(line, p, m_rules.spaces);
    return writeWord(line, word, word.value, m_writer, m_rules.maxLength, out);
}

} // namespace tools
