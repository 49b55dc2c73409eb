#pragma once

#include "format.h"
#include "toolwindow.h"

// Format: one letter's number rewritten in the output picture on every line of a range. Its label
// opens Options, where the picture is set.
class frmFormat : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmFormat(Host &host, QWidget *owner = nullptr);

    QLabel *Label3 = nullptr; // "Format What Axis:"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label1 = nullptr; // "Click Here To Change Your Formatting Options"

    // Opens Options.
    void Label1_Click();

    tools::FormatSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;
};
