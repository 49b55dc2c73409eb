#pragma once

#include "toolwindow.h"

// Insert File: the lines of another file put after a line of the program, exactly as the file
// holds them. The new program is built aside and takes the old one's place only once it is
// complete; a file with a line too long for a record is refused before anything changes.
class frmInsert : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmInsert(Host &host, QWidget *owner = nullptr);

    QLabel *Label1 = nullptr;        // "Filename:"
    QPushButton *Command1 = nullptr; // "&Click Here To Select Filename", then the chosen path

    // Lets the machinist pick the file with the open dialog; its path becomes Command1's caption.
    void Command1_Click();
    // The file to insert: Command1's caption (with tools::setCaptionValue), where a filled-in step
    // puts it too.
    QString fileName() const;
    std::unique_ptr<tools::Tool> makeTool() const override;
};
