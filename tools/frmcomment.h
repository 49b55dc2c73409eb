#pragma once

#include "toolwindow.h"

// Remove Comments: every comment of the program's comment rule taken out of the lines of a range.
// Its label opens Options, where the comment delimiters are set.
class frmComment : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmComment(Host &host, QWidget *owner = nullptr);

    QLabel *Label1 = nullptr; // "Click Here To Change Your Commenting Options"

    // Opens Options.
    void Label1_Click();
    std::unique_ptr<tools::Tool> makeTool() const override;
};
