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
    : m_letter(settings.axis, rules), m_rules(rules), m_writer(rules.outputFormat)
{
}

LineFault FormatWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const tessarc::FoundWord found = m_letter.find(line);
    if (found.use != tessarc::LetterUse::Word) {
        copyLine(line, out);
        return found.use == tessarc::LetterUse::Expression ? LineFault::Expression : LineFault::None;
    }
    return writeWord(line, found.word, found.word.value, m_writer, m_rules.maxLength, out);
}

} // namespace tools
