#pragma once

#include "steprecorder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

// A window that collects recorded steps, as the macro editor does.
class StepCollector : public QWidget, public StepRecorder
{
public:
    void addStep(const QString &name, const QString &settings) override { steps.append({name, settings}); }
    QList<QPair<QString, QString>> steps;
};

inline const QString kSep = QStringLiteral("\nSEP.QEN\r");

// The fields of a step as recording joins them: every one followed by the separator.
inline QString stepText(const QStringList &fields)
{
    return fields.join(kSep) + kSep;
}

// Sets fields as the machinist does, by object name: "name=value"; a text box or a button's caption
// takes the value, an option button is chosen by "True", a check box is ticked by "1". False when
// the window has no such field.
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
