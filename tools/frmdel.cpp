#include "frmdel.h"

#include "globalvar.h"
#include "host.h"
#include "tessarc.h"
#include "steptools.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace tools {

void lineFieldsOnly(ToolWindow &window, const QString &caption)
{
    window.LINE2LINE->setChecked(true);
    window.ALL->hide();
    window.LINE2LINE->hide();
    window.Label2->setText(QStringLiteral("to"));
    if (auto *box = window.findChild<QGroupBox *>(QStringLiteral("rangeBox")))
        box->setTitle(caption);
}

} // namespace tools

frmDel::frmDel(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Remove Lines"))
{
    setObjectName(QStringLiteral("frmDel"));
    tools::lineFieldsOnly(*this, QStringLiteral("Remove Lines"));
}

void frmDel::fillRange()
{
    ToolWindow::fillRange();
    if (!host().editor().lfile.isEmpty())
        EndLine->setText(StartLine->text());
}

std::unique_ptr<tools::Tool> frmDel::makeTool() const
{
    auto tool = std::make_unique<tools::RemoveLinesTool>();
    tool->fields = rangeFields();
    return tool;
}
