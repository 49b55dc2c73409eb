#include "operations.h"

#include "axislookup.h"
#include "linework.h"
#include "numbers.h"

#include <cmath>

namespace tools {

double applyOperation(Operation operation, double value, double c)
{
    switch (operation) {
    case Operation::Add:
        return value + c;
    case Operation::Subtract:
        return value - c;
    case Operation::Multiply:
        return value * c;
    case Operation::Divide:
        return value / c;
    }
    return value;
}

QString divideByZeroText()
{
    return QStringLiteral("Sorry, a value cannot be divided by 0. Please enter another value.");
}

std::optional<QString> checkFields(const OperationsSettings &settings, const QString &textNull)
{
    if (settings.value.isEmpty() || functions::reducedAxis(settings.axis).isEmpty()
        || !functions::isNumeric(settings.value))
        return textNull;
    if (settings.operation == Operation::Divide && functions::leadingNumber(settings.value) == 0.0)
        return divideByZeroText();
    return std::nullopt;
}

LineResult rewriteLine(const OperationsSettings &settings, const QByteArray &line, const LineRules &rules)
{
    LineResult result;
    result.fault = OperationsWork(settings, rules)(line, result.line);
    return result;
}

} // namespace tools
