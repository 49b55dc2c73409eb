#pragma once

#include "toolwindow.h"

// Remove Lines: deletes a range of lines. The new program is built aside and takes the old one's
// place only once it is complete.
class frmDel : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmDel(Host &host, QWidget *owner = nullptr);

    // Both range fields on the current line.
    void fillRange() override;
    std::unique_ptr<tools::Tool> makeTool() const override;
};

namespace tools {

// For the windows whose range is always two line fields: ALL and LINE2LINE are not shown (From
// Line is what applies), the range box takes `caption` and Label2 reads "to".
void lineFieldsOnly(ToolWindow &window, const QString &caption);

} // namespace tools
