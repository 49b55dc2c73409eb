#pragma once

#include <QString>

// A window that collects recorded tool steps (the macro editor). A tool window whose owner is a
// recorder hands its settings to it when Go is pressed, instead of running.
class StepRecorder
{
public:
    virtual ~StepRecorder() = default;
    // Adds a step: the tool's step name and its settings text (every field followed by the step
    // field separator).
    virtual void addStep(const QString &name, const QString &settings) = 0;
};
