#include "fromsets.h"

#include "stepfields.h"
#include "toolwindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QList>
#include <QRadioButton>

namespace fromSets {

namespace {

// The one child of `window` of type W named `name`; null when there is none, or more than one.
template <class W>
W *only(QWidget &window, const QString &name)
{
    const QList<W *> found = window.findChildren<W *>(name);
    return found.size() == 1 ? found.first() : nullptr;
}

QWidget *fieldFor(QWidget &window, const tools::FieldValue &field)
{
    switch (field.kind) {
    case tools::FieldKind::Text:
        return only<QLineEdit>(window, field.name);
    case tools::FieldKind::Option:
        return only<QRadioButton>(window, field.name);
    case tools::FieldKind::Check:
        return only<QCheckBox>(window, field.name);
    case tools::FieldKind::Caption:
        return only<QAbstractButton>(window, field.name);
    case tools::FieldKind::Mode:
        break;
    }
    return nullptr;
}

} // namespace

Filled fill(QWidget &window, const QString &stepName, const QString &settings, const QString &separator)
{
    Filled filled;
    const tools::StepFill step = tools::readStep(stepName, settings, separator);
    if (!step.ok()) {
        filled.error = step.error;
        return filled;
    }
    // Every field is found and checked before any is set, so a step that does not fit its window
    // leaves the window as it was.
    QList<QWidget *> fields;
    for (const tools::FieldValue &value : step.fields) {
        QWidget *field = fieldFor(window, value);
        if (!field) {
            filled.error = QStringLiteral("The %1 step cannot be used: its window has no field %2.").arg(stepName, value.name);
            return filled;
        }
        const auto *edit = qobject_cast<QLineEdit *>(field);
        if (edit && value.text.size() > edit->maxLength()) {
            filled.error = QStringLiteral("The %1 step cannot be used: the value of %2 is \"%3\", longer than the %4 "
                                          "characters the field takes.")
                               .arg(stepName, value.name, value.text)
                               .arg(edit->maxLength());
            return filled;
        }
        fields.append(field);
    }
    if (!step.button.isEmpty()) {
        filled.button = only<QAbstractButton>(window, step.button);
        if (!filled.button) {
            filled.error = QStringLiteral("The %1 step cannot be used: its window has no button %2.").arg(stepName, step.button);
            return filled;
        }
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const tools::FieldValue &value = step.fields[i];
        switch (value.kind) {
        case tools::FieldKind::Text:
            static_cast<QLineEdit *>(fields[i])->setText(value.text);
            break;
        case tools::FieldKind::Option:
        case tools::FieldKind::Check:
            static_cast<QAbstractButton *>(fields[i])->setChecked(value.on);
            break;
        case tools::FieldKind::Caption:
            tools::setCaptionValue(*static_cast<QAbstractButton *>(fields[i]), value.text);
            break;
        case tools::FieldKind::Mode:
            break;
        }
    }
    return filled;
}

} // namespace fromSets
