#include "stepfields.h"

#include <array>

namespace tools {

namespace {

using K = FieldKind;

// Option groups: the buttons of one group turn each other off; the range's are group 9.
constexpr int R = 9;
constexpr int kLetter = 1; // a field for one letter

constexpr StepField kOperations[] = {
    {"Option1", K::Option, 1, true}, {"Option2", K::Option, 1}, {"Option3", K::Option, 1},
    {"Option4", K::Option, 1},       {"txtValue", K::Text},     {"txtAxis", K::Text, 0, false, kLetter},
    {"ALL", K::Option, R, true},     {"LINE2LINE", K::Option, R}, {"StartLine", K::Text},
    {"EndLine", K::Text},
};
constexpr StepField kOperationsPlus[] = {
    {"Text1", K::Text, 0, false, kLetter}, {"g", K::Option, 1, true}, {"l", K::Option, 1},
    {"e", K::Option, 1},                   {"n", K::Option, 1},       {"Text2", K::Text},
    {"rp", K::Option, 2, true},            {"cp", K::Option, 2},      {"Option1", K::Option, 3, true},
    {"Option2", K::Option, 3},             {"Option3", K::Option, 3}, {"Option4", K::Option, 3},
    {"txtValue", K::Text},                 {"txtAxis", K::Text, 0, false, kLetter},
    {"ALL", K::Option, R, true},           {"LINE2LINE", K::Option, R}, {"StartLine", K::Text},
    {"EndLine", K::Text},                  {"Check1", K::Check},      {"Check2", K::Check},
    {"inc1", K::Option, 4, true},          {"inc2", K::Option, 4},    {"inc3", K::Option, 4},
    {"inc4", K::Option, 4},                {"inc", K::Text},
};
constexpr StepField kReplace[] = {
    {"txtFind", K::Text},        {"txtReplace", K::Text},      {"r1", K::Option, 1, true},
    {"r2", K::Option, 1},        {"r3", K::Option, 1},         {"case1", K::Check},
    {"ALL", K::Option, R, true}, {"LINE2LINE", K::Option, R},  {"StartLine", K::Text},
    {"EndLine", K::Text},        {"txtAxis", K::Text},         {"g", K::Option, 2, true},
    {"l", K::Option, 2},         {"e", K::Option, 2},          {"n", K::Option, 2},
    {"txtValue", K::Text},       {"txtReplaceAxis", K::Text},  {"txtReplaceValue", K::Text},
    {"Text1", K::Text},          {"Text2", K::Text},           {"case2", K::Check},
    {"txtReplaceLine", K::Text}, {"txtAppendLine", K::Text},   {"mode", K::Mode},
};
constexpr StepField kInsertFile[] = {{"Command1", K::Caption}, {"StartLine", K::Text}};
constexpr StepField kRange[] = {
    {"ALL", K::Option, R, true}, {"LINE2LINE", K::Option, R}, {"StartLine", K::Text}, {"EndLine", K::Text}};
constexpr StepField kRemoveLines[] = {{"StartLine", K::Text}, {"EndLine", K::Text}};
constexpr StepField kFilter[] = {{"txtValue", K::Text},      {"txtAxis", K::Text, 0, false, kLetter},
                                 {"ALL", K::Option, R, true}, {"LINE2LINE", K::Option, R},
                                 {"StartLine", K::Text},     {"EndLine", K::Text}};
constexpr StepField kFormat[] = {{"txtAxis", K::Text, 0, false, kLetter}, {"ALL", K::Option, R, true},
                                 {"LINE2LINE", K::Option, R},             {"StartLine", K::Text},
                                 {"EndLine", K::Text}};
constexpr StepField kMirror[] = {{"txtValue", K::Text},      {"txtAxis", K::Text, 0, false, kLetter},
                                 {"ALL", K::Option, R, true}, {"LINE2LINE", K::Option, R},
                                 {"StartLine", K::Text},     {"EndLine", K::Text},
                                 {"g02g03", K::Check},       {"g41g42", K::Check}};
constexpr StepField kNumber[] = {
    {"add", K::Option, 1, true},     {"remove", K::Option, 1},    {"ALL", K::Option, R, true},
    {"LINE2LINE", K::Option, R},     {"StartLine", K::Text},      {"EndLine", K::Text},
    {"Option1", K::Option, 2, true}, {"Check1", K::Check},        {"Option2", K::Option, 2},
    {"txtStartNumber", K::Text, 0, false, 15}, {"txtInc", K::Text}, {"Check2", K::Check},
};
constexpr StepField kSpace[] = {{"add", K::Option, 1, true}, {"remove", K::Option, 1},
                                {"ALL", K::Option, R, true}, {"LINE2LINE", K::Option, R},
                                {"StartLine", K::Text},      {"EndLine", K::Text}};

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

StepForm StepForm::read(const QString &stepName, const QString &settings, const QString &separator,
                        const RangeFields &opened)
{
    StepForm form;
    const StepFill fill = readStep(stepName, settings, separator);
    if (!fill.ok()) {
        form.error = fill.error;
        return form;
    }
    // Every field as the window opens.
    const std::span<const StepField> fields = stepFields(stepName);
    for (const StepField &field : fields) {
        const QString name = QLatin1String(field.name);
        if (field.kind == FieldKind::Option || field.kind == FieldKind::Check)
            form.m_on.insert(name, field.on);
        else if (field.kind != FieldKind::Mode)
            form.m_text.insert(name, QString());
    }
    form.m_on.insert(QStringLiteral("ALL"), opened.all);
    form.m_on.insert(QStringLiteral("LINE2LINE"), opened.line2line);
    form.m_text.insert(QStringLiteral("StartLine"), opened.startLine);
    form.m_text.insert(QStringLiteral("EndLine"), opened.endLine);
    // Then the step's values, as filling the window puts them in; a value longer than its field
    // takes leaves nothing set.
    const auto fieldNamed = [&](const QString &name) -> const StepField & {
        for (const StepField &field : fields) {
            if (name == QLatin1String(field.name))
                return field;
        }
        Q_UNREACHABLE();
    };
    for (const FieldValue &value : fill.fields) {
        const StepField &field = fieldNamed(value.name);
        if ((value.kind == FieldKind::Text || value.kind == FieldKind::Caption) && value.text.size() > field.maxLength) {
            form.error = QStringLiteral("The %1 step cannot be used: the value of %2 is \"%3\", longer than the %4 "
                                        "characters the field takes.")
                             .arg(stepName, value.name, value.text)
                             .arg(field.maxLength);
            return form;
        }
    }
    for (const FieldValue &value : fill.fields) {
        const StepField &field = fieldNamed(value.name);
        switch (value.kind) {
        case FieldKind::Text:
        case FieldKind::Caption:
            form.m_text.insert(value.name, value.text);
            break;
        case FieldKind::Option:
            // Choosing a button turns the others of its group off.
            for (const StepField &other : fields) {
                if (other.kind == FieldKind::Option && other.group == field.group)
                    form.m_on.insert(QLatin1String(other.name), false);
            }
            form.m_on.insert(value.name, true);
            break;
        case FieldKind::Check:
            form.m_on.insert(value.name, value.on);
            break;
        case FieldKind::Mode:
            break;
        }
    }
    static const QStringList buttons = {QStringLiteral("Go"), QStringLiteral("go2"), QStringLiteral("go3"),
                                        QStringLiteral("go4"), QStringLiteral("go5")};
    form.m_mode = static_cast<int>(buttons.indexOf(fill.button)) + 1;
    return form;
}

QString StepForm::text(const char *name) const
{
    return m_text.value(QLatin1String(name));
}

bool StepForm::on(const char *name) const
{
    return m_on.value(QLatin1String(name));
}

RangeFields StepForm::range() const
{
    return {on("ALL"), on("LINE2LINE"), text("StartLine"), text("EndLine")};
}

} // namespace tools
