#pragma once

#include "spaces.h"
#include "toolwindow.h"

class QGroupBox;

// Space: packs the lines of a range by taking out every space, or spaces packed lines out again
// with a space before each address word.
class frmSpace : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmSpace(Host &host, QWidget *owner = nullptr);

    QGroupBox *frame1 = nullptr;   // "Space"
    QRadioButton *add = nullptr;    // "Add Spaces"
    QRadioButton *remove = nullptr; // "Remove Spaces"

    tools::SpaceSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;
};
