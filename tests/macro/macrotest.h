#pragma once

#include "macrofile.h"
#include "steptext.h"
#include "stepwindows.h"
#include "testhost.h"
#include "toolwindowtest.h"
#include "toolwindow.h"

#include <QPushButton>
#include <QtTest>

#include <memory>

using macro::MacroStep;

// The file of the macro `name` in the macro folder.
inline QString macroFile(const QString &name)
{
    return macro::macroPath(macro::macroFolder(), name);
}

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
