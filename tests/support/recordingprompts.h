#pragma once

#include "controlprompts.h"

#include <QStringList>

// Stands in for the control's warning boxes and beeps, recording what would have been shown.
class RecordingPrompts : public tessarc::ControlPrompts
{
public:
    void warning(QWidget *parent, const QString &title, const QString &text) override;
    void beep() override;
    void clear();

    QStringList titles;
    QStringList texts;
    int beeps = 0;
};
