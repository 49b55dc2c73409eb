#pragma once

#include "filter.h"
#include "toolwindow.h"

#include <optional>

// Filter: a word of one letter whose value hardly differs from the last one kept is taken out of
// its line, over a range.
class frmFilter : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmFilter(Host &host, QWidget *owner = nullptr);

    QLabel *Label3 = nullptr; // "Axis:"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label1 = nullptr; // "Tolerance:"
    QLineEdit *txtValue = nullptr;

    tools::FilterSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;
};
