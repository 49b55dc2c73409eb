#pragma once

#include "macrofile.h"
#include "steprecorder.h"
#include "steptext.h"
#include "stepwindows.h"
#include "testhost.h"
#include "toolwindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

// A window that collects recorded steps, as the macro editor does.
class StepCollector : public QWidget, public StepRecorder
{
public:
    void addStep(const QString &name, const QString &settings) override { steps.append({name, settings}); }
    QList<QPair<QString, QString>> steps;
};

using macro::MacroStep;

inline const QString kSep = QStringLiteral("\nSEP.QEN\r");

// The tool window of a step name, opened on the host's program, owned by `owner` (a recorder) or
// by the main window.
inline std::unique_ptr<tools::ToolWindow> openStepWindow(Host &host, const QString &step, QWidget *owner = nullptr)
{
    const macro::StepWindow *entry = macro::stepWindow(step);
    if (!entry)
        return nullptr;
    std::unique_ptr<tools::ToolWindow> window(entry->make(host, owner));
    window->Form_Load();
    return window;
}

// Sets fields as the machinist does, by object name: "name=value"; a text box or a button's caption
// takes the value, an option button is chosen by "True", a check box is ticked by "1".
inline bool setFields(QWidget &window, const QStringList &fields)
{
    for (const QString &field : fields) {
        const QString name = field.section(QLatin1Char('='), 0, 0);
        const QString value = field.section(QLatin1Char('='), 1);
        QWidget *child = window.findChild<QWidget *>(name);
        if (auto *text = qobject_cast<QLineEdit *>(child))
            text->setText(value);
        else if (auto *option = qobject_cast<QRadioButton *>(child))
            option->setChecked(value == QLatin1String("True"));
        else if (auto *check = qobject_cast<QCheckBox *>(child))
            check->setChecked(value == QLatin1String("1"));
        else if (auto *button = qobject_cast<QPushButton *>(child))
            button->setText(value);
        else
            return false;
    }
    return true;
}

// The settings text a step's window records with these fields, pressing `button`; empty when the
// window did not record.
inline QString recordedStep(Host &host, const QString &step, const QStringList &fields,
                            const QString &button = QStringLiteral("Go"))
{
    StepCollector collector;
    const std::unique_ptr<tools::ToolWindow> window = openStepWindow(host, step, &collector);
    if (!window || !setFields(*window, fields))
        return QString();
    if (auto *press = window->findChild<QPushButton *>(button))
        press->click();
    return collector.steps.size() == 1 && collector.steps.first().first == step ? collector.steps.first().second
                                                                                : QString();
}

// Runs a step's window by hand, as the machinist does: fields set, the button pressed.
inline bool runByHand(Host &host, const QString &step, const QStringList &fields,
                      const QString &button = QStringLiteral("Go"))
{
    const std::unique_ptr<tools::ToolWindow> window = openStepWindow(host, step);
    if (!window || !setFields(*window, fields))
        return false;
    auto *press = window->findChild<QPushButton *>(button);
    if (!press)
        return false;
    press->click();
    return true;
}
