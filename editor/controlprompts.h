#pragma once

#include "tessarc_export.h"

#include <QString>

class QWidget;

namespace tessarc {

// Everything the control would show modally goes through here, so a host can route the control's
// reports into its own prompts and a test can see exactly what would have been shown.
class TESSARC_EXPORT ControlPrompts
{
public:
    virtual ~ControlPrompts();
    // A warning box with a title and a text.
    virtual void warning(QWidget *parent, const QString &title, const QString &text);
    // The system beep.
    virtual void beep();
};

} // namespace tessarc
