#include "frmcomment.h"

#include "globalvar.h"
#include "host.h"
#include "clickablelabel.h"
#include "removecomments.h"
#include "steptext.h"

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

QString frmComment::stepSettings() const
{
    return tools::removeCommentsStep(rangeFields(), host().values().brand.stepSeparator);
}

tools::LineWork frmComment::prepareRun()
{
    // The delimiters and the kept commands as Options last set them.
    const CommentSettings &comments = host().values().comments;
    return tools::RemoveCommentsWork(comments.rule(), tools::CommentCommands(comments.commands));
}
