#include "linework.h"

#include "numbers.h"
#include "wordscan.h"

namespace tools {

// ---------------------------------------------------------------- OperationsWork

OperationsWork::OperationsWork(const OperationsSettings &settings, const LineRules &rules)
    : m_operation(settings.operation), m_rules(rules), m_writer(rules.outputFormat),
      m_constant(functions::leadingNumber(settings.value)), m_letter(settings.axis, rules)
{
}

LineFault OperationsWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const tessarc::FoundWord found = m_letter.find(line);
    if (found.use != tessarc::LetterUse::Word) {
        copyLine(line, out);
        return found.use == tessarc::LetterUse::Expression ? LineFault::Expression : LineFault::None;
    }
    return writeWord(line, found.word, applyOperation(m_operation, found.word.value, m_constant), m_writer,
                     m_rules.maxLength, out);
}

} // namespace tools
