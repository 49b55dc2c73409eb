#include "stepfields.h"

#include <array>

namespace macro {

namespace {

using K = FieldKind;

constexpr StepField kOperations[] = {
    {"Option1", K::Option}, {"Option2", K::Option}, {"Option3", K::Option},   {"Option4", K::Option},
    {"txtValue", K::Text},  {"txtAxis", K::Text},   {"ALL", K::Option},       {"LINE2LINE", K::Option},
    {"StartLine", K::Text}, {"EndLine", K::Text},
};
constexpr StepField kOperationsPlus[] = {
    {"Text1", K::Text},       {"g", K::Option},        {"l", K::Option},         {"e", K::Option},
    {"n", K::Option},         {"Text2", K::Text},      {"rp", K::Option},        {"cp", K::Option},
    {"Option1", K::Option},   {"Option2", K::Option},  {"Option3", K::Option},   {"Option4", K::Option},
    {"txtValue", K::Text},    {"txtAxis", K::Text},    {"ALL", K::Option},       {"LINE2LINE", K::Option},
    {"StartLine", K::Text},   {"EndLine", K::Text},    {"Check1", K::Check},     {"Check2", K::Check},
    {"inc1", K::Option},      {"inc2", K::Option},     {"inc3", K::Option},      {"inc4", K::Option},
    {"inc", K::Text},
};
constexpr StepField kReplace[] = {
    {"txtFind", K::Text},         {"txtReplace", K::Text},      {"r1", K::Option},         {"r2", K::Option},
    {"r3", K::Option},            {"case1", K::Check},          {"ALL", K::Option},        {"LINE2LINE", K::Option},
    {"StartLine", K::Text},       {"EndLine", K::Text},         {"txtAxis", K::Text},      {"g", K::Option},
    {"l", K::Option},             {"e", K::Option},             {"n", K::Option},          {"txtValue", K::Text},
    {"txtReplaceAxis", K::Text},  {"txtReplaceValue", K::Text}, {"Text1", K::Text},        {"Text2", K::Text},
    {"case2", K::Check},          {"txtReplaceLine", K::Text},  {"txtAppendLine", K::Text}, {"mode", K::Mode},
};
constexpr StepField kInsertFile[] = {{"Command1", K::Caption}, {"StartLine", K::Text}};
constexpr StepField kRange[] = {
    {"ALL", K::Option}, {"LINE2LINE", K::Option}, {"StartLine", K::Text}, {"EndLine", K::Text}};
constexpr StepField kRemoveLines[] = {{"StartLine", K::Text}, {"EndLine", K::Text}};
constexpr StepField kFilter[] = {{"txtValue", K::Text},     {"txtAxis", K::Text},   {"ALL", K::Option},
                                 {"LINE2LINE", K::Option},  {"StartLine", K::Text}, {"EndLine", K::Text}};
constexpr StepField kFormat[] = {{"txtAxis", K::Text},     {"ALL", K::Option},     {"LINE2LINE", K::Option},
                                 {"StartLine", K::Text},   {"EndLine", K::Text}};
constexpr StepField kMirror[] = {{"txtValue", K::Text},    {"txtAxis", K::Text},   {"ALL", K::Option},
                                 {"LINE2LINE", K::Option}, {"StartLine", K::Text}, {"EndLine", K::Text},
                                 {"g02g03", K::Check},     {"g41g42", K::Check}};
constexpr StepField kNumber[] = {
    {"add", K::Option},       {"remove", K::Option},      {"ALL", K::Option},   {"LINE2LINE", K::Option},
    {"StartLine", K::Text},   {"EndLine", K::Text},       {"Option1", K::Option}, {"Check1", K::Check},
    {"Option2", K::Option},   {"txtStartNumber", K::Text}, {"txtInc", K::Text},  {"Check2", K::Check},
};
constexpr StepField kSpace[] = {{"add", K::Option},       {"remove", K::Option},  {"ALL", K::Option},
                                {"LINE2LINE", K::Option}, {"StartLine", K::Text}, {"EndLine", K::Text}};

struct StepTable
{
    const char *name;
    std::span<const StepField> fields;
};

// In the order of the step-type list.
constexpr std::array<StepTable, 11> kSteps = {{
    {"Operations", kOperations},
    {"Operations Plus", kOperationsPlus},
    {"Replace", kReplace},
    {"Insert File", kInsertFile},
    {"Remove Comments", kRange},
    {"Remove Lines", kRemoveLines},
    {"Filter", kFilter},
    {"Format", kFormat},
    {"Mirror", kMirror},
    {"Number", kNumber},
    {"Space", kSpace},
}};

bool isRangeLine(const char *name)
{
    return qstrcmp(name, "StartLine") == 0 || qstrcmp(name, "EndLine") == 0;
}

} // namespace

const QStringList &stepNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const StepTable &step : kSteps)
            list.append(QLatin1String(step.name));
        return list;
    }();
    return names;
}

std::span<const StepField> stepFields(const QString &stepName)
{
    for (const StepTable &step : kSteps) {
        if (stepName == QLatin1String(step.name))
            return step.fields;
    }
    return {};
}

QStringList splitSettings(const QString &settings, const QString &separator)
{
    QStringList items = settings.split(separator);
    if (settings.endsWith(separator) || settings.isEmpty())
        items.removeLast();
    return items;
}

std::optional<QString> stepRefused(const QString &stepName, const QString &settings, const QString &separator)
{
    const std::span<const StepField> fields = stepFields(stepName);
    if (fields.empty())
        return QStringLiteral("\"%1\" is not a step a macro can hold.").arg(stepName);
    const QStringList items = splitSettings(settings, separator);
    const auto count = static_cast<qsizetype>(fields.size());
    for (qsizetype i = 0; i < items.size() && i < count; ++i) {
        if (items[i].contains(QLatin1Char('\n')))
            return QStringLiteral("The %1 step cannot be recorded: the value of %2 holds a line break, which a macro "
                                  "step cannot store. Please remove it and press Go again.")
                .arg(stepName, QLatin1String(fields[static_cast<std::size_t>(i)].name));
    }
    if (items.size() != count)
        return QStringLiteral("The %1 step cannot be recorded: one of its values holds a line break, which a macro "
                              "step cannot store. Please remove it and press Go again.")
            .arg(stepName);
    return std::nullopt;
}

StepFill readStep(const QString &stepName, const QString &settings, const QString &separator)
{
    StepFill fill;
    const std::span<const StepField> fields = stepFields(stepName);
    if (fields.empty()) {
        fill.error = QStringLiteral("\"%1\" is not a step a macro can hold.").arg(stepName);
        return fill;
    }
    const QStringList items = splitSettings(settings, separator);
    if (items.size() < static_cast<qsizetype>(fields.size())) {
        fill.error = QStringLiteral("The %1 step cannot be used: it holds %2 of its %3 values.")
                         .arg(stepName)
                         .arg(items.size())
                         .arg(fields.size());
        return fill;
    }
    bool rangeOn = true; // a step without LINE2LINE always sets its range
    fill.button = QStringLiteral("Go");
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const StepField &field = fields[i];
        const QString &item = items[static_cast<qsizetype>(i)];
        auto unreadable = [&](const char *expected) {
            fill.fields.clear();
            fill.button.clear();
            fill.error = QStringLiteral("The %1 step cannot be used: the value of %2 is \"%3\" where %4 belongs.")
                             .arg(stepName, QLatin1String(field.name), item, QLatin1String(expected));
        };
        switch (field.kind) {
        case FieldKind::Text:
        case FieldKind::Caption:
            if (!isRangeLine(field.name) || rangeOn)
                fill.fields.append({QLatin1String(field.name), field.kind, item, false});
            break;
        case FieldKind::Option: {
            const bool on = item.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
            if (!on && item.compare(QLatin1String("False"), Qt::CaseInsensitive) != 0) {
                unreadable("True or False");
                return fill;
            }
            if (qstrcmp(field.name, "LINE2LINE") == 0)
                rangeOn = on;
            if (on)
                fill.fields.append({QLatin1String(field.name), field.kind, QString(), true});
            break;
        }
        case FieldKind::Check:
            if (item != QLatin1String("1") && item != QLatin1String("0")) {
                unreadable("1 or 0");
                return fill;
            }
            fill.fields.append({QLatin1String(field.name), field.kind, QString(), item == QLatin1String("1")});
            break;
        case FieldKind::Mode: {
            static const char *const buttons[] = {"Go", "go2", "go3", "go4", "go5"};
            bool number = false;
            const int mode = item.trimmed().toInt(&number);
            fill.button = number && mode >= 1 && mode <= 5 ? QLatin1String(buttons[mode - 1]) : QString();
            break;
        }
        }
    }
    return fill;
}

} // namespace macro
