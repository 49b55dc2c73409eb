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
    : m_letter(settings.axis, rules), m_tolerance(std::fabs(functions::leadingNumber(settings.value))),
      m_spaces(rules.spaces)
{
}

namespace {

bool holdsArcWord(const tessarc::WordReader &reader, QByteArrayView line)
{
    for (const char letter : {'I', 'J', 'K', 'R'}) {
        if (reader.find(line, letter).use != tessarc::LetterUse::None)
            return true;
    }
    return false;
}

} // namespace

LineFault FilterWork::operator()(QByteArrayView line, QByteArray &out)
{
    const tessarc::FoundWord found = m_letter.find(line);
    copyLine(line, out);
    if (found.use != tessarc::LetterUse::Word)
        return found.use == tessarc::LetterUse::Expression ? LineFault::Expression : LineFault::None;
    const tessarc::Word &word = found.word;
    const bool near = m_anyKept && std::fabs(word.value - m_last) <= m_tolerance;
    if (near && !holdsArcWord(m_letter.reader(), line)) {
        const qsizetype p = word.letterPos;
        qsizetype end = word.numberStart + word.numberLength;
        while (m_spaces && end < line.size() && line[end] == ' ')
            ++end;
        const qsizetype rest = line.size() - end;
        out.resize(p + rest);
        if (rest > 0)
            std::memcpy(out.data() + p, line.data() + end, static_cast<size_t>(rest));
        return LineFault::None;
    }
    m_anyKept = true;
    m_last = word.value;
    return near ? LineFault::Arc : LineFault::None;
}

} // namespace tools
