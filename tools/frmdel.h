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

    QString stepName() const override { return QStringLiteral("Remove Lines"); }
    // StartLine, EndLine.
    QString stepSettings() const override;

protected:
    std::optional<QString> checkFields() const override { return std::nullopt; }
    QString runOn(const tools::LineRange &range) override;
};

namespace tools {

// For the windows whose range is always two line fields: ALL and LINE2LINE are not shown (From
// Line is what applies), the range box takes `caption` and Label2 reads "to".
void lineFieldsOnly(ToolWindow &window, const QString &caption);

// The message for a run that must not change the number of lines while the page being edited
// could not be written back, or nothing when the page is stored.
std::optional<QString> pageNotStored(Host &host);

} // namespace tools
