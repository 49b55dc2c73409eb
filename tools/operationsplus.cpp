#include "operationsplus.h"

#include "axislookup.h"
#include "numbers.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tools {

std::optional<QString> checkFields(const OperationsPlusSettings &settings, const QString &textNull)
{
    if (settings.value.isEmpty() || functions::reducedAxis(settings.axis).isEmpty()
        || functions::reducedAxis(settings.conditionAxis).isEmpty())
        return textNull;
    if (!functions::isNumeric(settings.conditionValue) || !functions::isNumeric(settings.value))
        return textNull;
    const bool stepping = settings.stepOnReplacement || settings.stepOnLine;
    if (stepping && !functions::isNumeric(settings.step))
        return textNull;
    if (settings.operation == Operation::Divide && functions::leadingNumber(settings.value) == 0.0)
        return divideByZeroText();
    if (stepping && settings.stepOperation == Operation::Divide && functions::leadingNumber(settings.step) == 0.0)
        return divideByZeroText();
    return std::nullopt;
}

OperationsPlusWork::OperationsPlusWork(const OperationsPlusSettings &settings, const LineRules &rules)
    : m_settings(settings), m_rules(rules), m_writer(rules.outputFormat), m_target(settings.axis),
      m_condition(settings.conditionAxis), m_threshold(functions::leadingNumber(settings.conditionValue)),
      m_stepBy(functions::leadingNumber(settings.step)), m_number(functions::leadingNumber(settings.value))
{
}

QString OperationsPlusWork::value() const
{
    if (m_textLength < 0)
        return m_settings.value;
    return QString::fromLatin1(m_text, m_textLength);
}

bool OperationsPlusWork::stepped(double number, char *text, int &length, double &result) const
{
    const double next = applyOperation(m_settings.stepOperation, number, m_stepBy);
    if (!std::isfinite(next))
        return false;
    const auto written = std::to_chars(text, text + kTextRoom, next, std::chars_format::general, 15);
    length = static_cast<int>(written.ptr - text);
    // The value read back from its text, as the window's field would give it.
    std::from_chars(text, written.ptr, result);
    return true;
}

LineFault OperationsPlusWork::operator()(QByteArrayView line, QByteArray &out)
{
    double last = m_last;
    double number = m_number;
    const qsizetype b = m_target.find(line);
    if (b < 0) {
        copyLine(line, out);
    } else {
        double a = 0.0;
        const qsizetype at = m_condition.find(line);
        const Word condition = at < 0 ? Word{} : readWord(line, at, m_rules.spaces);
        // A letter with no digit after it has no number, even when a space was taken after it.
        if (at < 0 || !condition.digits)
            a = m_settings.realPosition ? last : 0.0;
        else
            a = last = condition.value;
        bool holds = false;
        switch (m_settings.comparison) {
        case Comparison::Greater:
            holds = a > m_threshold;
            break;
        case Comparison::Less:
            holds = a < m_threshold;
            break;
        case Comparison::Equal:
            holds = a == m_threshold;
            break;
        case Comparison::NotEqual:
            holds = a != m_threshold;
            break;
        }
        if (holds) {
            const Word word = readWord(line, b, m_rules.spaces);
            const LineFault fault = writeWord(line, word, applyOperation(m_settings.operation, word.value, number),
                                              m_writer, m_rules.maxLength, out);
            if (fault != LineFault::None)
                return fault;
        } else {
            copyLine(line, out);
        }
    }

    char text[kTextRoom];
    int length = -1;
    const int steps = (m_settings.stepOnReplacement && b >= 0 ? 1 : 0) + (m_settings.stepOnLine ? 1 : 0);
    for (int i = 0; i < steps; ++i) {
        if (!stepped(number, text, length, number)) {
            copyLine(line, out);
            return LineFault::NotFinite;
        }
    }
    m_last = last;
    m_number = number;
    if (length >= 0) {
        std::memcpy(m_text, text, static_cast<size_t>(length));
        m_textLength = length;
    }
    return LineFault::None;
}

} // namespace tools
