#include "recordingprompts.h"

void RecordingPrompts::warning(QWidget *, const QString &title, const QString &text)
{
    titles.append(title);
    texts.append(text);
}

void RecordingPrompts::beep()
{
    ++beeps;
}

void RecordingPrompts::clear()
{
    titles.clear();
    texts.clear();
    beeps = 0;
}
