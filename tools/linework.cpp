#include "linework.h"

#include "numbers.h"
#include "wordscan.h"

namespace tools {

// ---------------------------------------------------------------- OperationsWork

OperationsWork::OperationsWork(const OperationsSettings &settings, const LineRules &rules)
    : m_operation(settings.operation), m_rules(rules), m_writer(rules.outputFormat),
      m_constant(functions::leadingNumber(settings.value)), m_letter(settings.axis)
{
}

LineFault OperationsWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const qsizetype p = m_letter.find(line);
    if (p < 0) {
        copyLine(line, out);
        return LineFault::None;
    }
    const Word word = readWord(line, p, m_rules.spaces);
    return writeWord(line, word, applyOperation(m_operation, word.value, m_constant), m_writer, m_rules.maxLength,
                     out);
}

// ---------------------------------------------------------------- MirrorWork

MirrorWork::MirrorWork(const MirrorSettings &settings, const LineRules &rules) : m_settings(settings), m_rules(rules)
{
}

LineFault MirrorWork::operator()(QByteArrayView line, QByteArray &out) const
{
    const LineResult result = rewriteLine(m_settings, QByteArray::fromRawData(line.data(), line.size()), m_rules);
    copyLine(result.line, out);
    return result.fault;
}

} // namespace tools
