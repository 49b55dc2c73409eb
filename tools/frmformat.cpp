#include "frmformat.h"

#include "wordscan.h"

#include "globalvar.h"
#include "host.h"
#include "clickablelabel.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>

frmFormat::frmFormat(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Format"))
{
    setObjectName(QStringLiteral("frmFormat"));
    Label3 = new QLabel(QStringLiteral("Format What Axis:"), this);
    txtAxis = new QLineEdit(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    txtAxis->setObjectName(QStringLiteral("txtAxis"));
    txtAxis->setMaxLength(1);
    txtAxis->setMaximumWidth(txtAxis->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    Label3->setBuddy(txtAxis);
    Label1 = tools::clickableLabel(QStringLiteral("Click Here To Change Your Formatting Options"), this,
                                   [this] { Label1_Click(); });
    Label1->setObjectName(QStringLiteral("Label1"));
    auto *letter = new QHBoxLayout;
    letter->addWidget(Label3);
    letter->addWidget(txtAxis);
    letter->addStretch(1);
    ownFields()->addLayout(letter);
    ownFields()->addWidget(Label1);
    setFirstField(txtAxis);
}

void frmFormat::Label1_Click()
{
    host().showWindow(QStringLiteral("options1"));
}

tools::FormatSettings frmFormat::settings() const
{
    return {txtAxis->text()};
}

std::unique_ptr<tools::Tool> frmFormat::makeTool() const
{
    return tools::toolWith<tools::FormatTool>(settings(), rangeFields());
}
