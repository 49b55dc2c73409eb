#include "operationsplus.h"

#include "axislookup.h"
#include "numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tools {

namespace {

// The text form into `text` (room for 32 bytes); its length.
int writeFifteenDigits(double value, char *text)
{
    return static_cast<int>(std::to_chars(text, text + 32, value, std::chars_format::general, 15).ptr - text);
}

} // namespace

QString fifteenDigitText(double value)
{
    if (!std::isfinite(value))
        return QString();
    char text[32];
    return QString::fromLatin1(text, writeFifteenDigits(value, text));
}

double fifteenDigitValue(double value)
{
    if (!std::isfinite(value) || value == 0.0)
        return value;
    // Most values lie between 1e-8 and 1e15, where value * 10^k for a power 10^k a double holds
    // exactly brings the 15 digits before the point: that product is off by at most 1/16 from the
    // exact one, so unless it lies that close to a half, rounding it gives the digits the text
    // form has, and one division by the exact power gives the double nearest to them.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double magnitude = std::fabs(value);
    if (magnitude >= 1e-8 && magnitude < 1e15) {
        int k = 0;
        while (k < 22 && magnitude * kPowers[k] < 1e14)
            ++k;
        const double scaled = magnitude * kPowers[k];
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        const double digits = whole + (fraction > 0.5 ? 1.0 : 0.0);
        if (std::fabs(fraction - 0.5) > 0.07 && digits >= 1e14 && digits < 1e15 && scaled < 1e15) {
            const double rounded = digits / kPowers[k];
            return value < 0 ? -rounded : rounded;
        }
    }
    char text[32];
    const int length = writeFifteenDigits(value, text);
    double result = 0.0;
    if (std::from_chars(text, text + length, result).ec == std::errc::result_out_of_range) {
        // Rounded past the largest double, or below the smallest: read as infinity or 0, as the
        // field's reading reads such a text.
        result = magnitude > 1.0 ? std::numeric_limits<double>::infinity() : 0.0;
        result = value < 0 ? -result : result;
    }
    return result;
}

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
    : m_settings(settings), m_rules(rules), m_writer(rules.outputFormat), m_target(settings.axis, rules),
      m_condition(settings.conditionAxis, rules), m_threshold(functions::leadingNumber(settings.conditionValue)),
      m_stepBy(functions::leadingNumber(settings.step)), m_number(functions::leadingNumber(settings.value))
{
}

QString OperationsPlusWork::value() const
{
    // The text of a number read back from its 15-digit form is that same form again.
    return m_stepped ? fifteenDigitText(m_number) : m_settings.value;
}

LineFault OperationsPlusWork::operator()(QByteArrayView line, QByteArray &out)
{
    double last = m_last;
    double number = m_number;
    using tessarc::LetterUse;
    const tessarc::FoundWord target = m_target.find(line);
    const tessarc::FoundWord condition =
        target.use == LetterUse::Word ? m_condition.find(line) : tessarc::FoundWord{};
    const bool expression = target.use == LetterUse::Expression || condition.use == LetterUse::Expression;
    const bool holdsTarget = target.use == LetterUse::Word && !expression;
    if (!holdsTarget) {
        copyLine(line, out);
    } else {
        double a = 0.0;
        if (condition.use != LetterUse::Word)
            a = m_settings.realPosition ? last : 0.0;
        else
            a = last = condition.word.value;
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
        if (holds && m_settings.operation == Operation::Divide && number == 0.0) {
            copyLine(line, out);
            return LineFault::DivideByZero;
        }
        if (holds) {
            const LineFault fault =
                writeWord(line, target.word, applyOperation(m_settings.operation, target.word.value, number),
                          m_writer, m_rules.maxLength, out);
            if (fault != LineFault::None)
                return fault;
        } else {
            copyLine(line, out);
        }
    }

    const int steps = (m_settings.stepOnReplacement && holdsTarget ? 1 : 0) + (m_settings.stepOnLine ? 1 : 0);
    for (int i = 0; i < steps; ++i) {
        number = fifteenDigitValue(applyOperation(m_settings.stepOperation, number, m_stepBy));
        if (!std::isfinite(number)) {
            copyLine(line, out);
            return LineFault::NotFinite;
        }
    }
    m_last = last;
    m_number = number;
    m_stepped = m_stepped || steps > 0;
    return expression ? LineFault::Expression : LineFault::None;
}

} // namespace tools
