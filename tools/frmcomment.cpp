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

QString frmComment::runOn(const tools::LineRange &range)
{
    // The delimiters and the kept commands as Options last set them.
    const CommentSettings &comments = host().values().comments;
    tools::RemoveCommentsWork work(comments.rule(), tools::CommentCommands(comments.commands));
    const QString stopped = rewriteRange(range, std::ref(work));
    if (work.kept() > 0)
        tellRemark(work.kept() == 1 ? QStringLiteral("1 command comment kept")
                                    : QStringLiteral("%1 command comments kept").arg(work.kept()));
    return stopped;
}
