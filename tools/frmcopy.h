#pragma once

#include "toolwindow.h"

// Copy Lines: a range of lines on the clipboard, each followed by CR LF. The text is built once and
// the clipboard is set once, at the end.
class frmCopy : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmCopy(Host &host);

    // Both range fields on the current line.
    void fillRange() override;

    // Copy Lines is not a macro step.
    QString stepName() const override { return QString(); }
    QString stepSettings() const override { return QString(); }

protected:
    std::optional<QString> checkFields() const override { return std::nullopt; }
    QString runOn(const tools::LineRange &range) override;
};
