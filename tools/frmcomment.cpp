#include "frmcomment.h"

#include "globalvar.h"
#include "host.h"
#include "clickablelabel.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QLabel>

frmComment::frmComment(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Remove Comments"))
{
    setObjectName(QStringLiteral("frmComment"));
    Label1 = tools::clickableLabel(QStringLiteral("Click Here To Change Your Commenting Options"), this,
                                   [this] { Label1_Click(); });
    Label1->setObjectName(QStringLiteral("Label1"));
    ownFields()->addWidget(Label1);
}

void frmComment::Label1_Click()
{
    host().showWindow(QStringLiteral("options1"));
}

std::unique_ptr<tools::Tool> frmComment::makeTool() const
{
    auto tool = std::make_unique<tools::RemoveCommentsTool>();
    tool->fields = rangeFields();
    return tool;
}
