#include "frminsert.h"

#include "frmdel.h"
#include "globalvar.h"
#include "host.h"
#include "steptools.h"
#include "prompts.h"
#include "tessarc.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

frmInsert::frmInsert(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Insert File"))
{
    setObjectName(QStringLiteral("frmInsert"));
    Label1 = new QLabel(QStringLiteral("Filename:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Command1 = new QPushButton(QStringLiteral("&Click Here To Select Filename"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command1->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 40);
    Label1->setBuddy(Command1);
    auto *row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(Command1, 1);
    ownFields()->addLayout(row);
    setFirstField(Command1);

    tools::lineFieldsOnly(*this, QStringLiteral("Insert File After Line"));
    Label2->hide();
    EndLine->hide();
    // Line 0 is a place to insert at: the frame's check of StartLine as it is typed does not apply.
    // What the field holds is checked when Go is pressed.
    disconnect(StartLine, &QLineEdit::textEdited, this, &ToolWindow::StartLine_Change);
    connect(Command1, &QPushButton::clicked, this, &frmInsert::Command1_Click);
}

void frmInsert::Command1_Click()
{
    GlobalVar &values = host().values();
    const QString chosen = host().prompts().openFileName(this, values.folders.lastDirOpen);
    if (!chosen.isEmpty())
        tools::setCaptionValue(*Command1, chosen);
}

QString frmInsert::fileName() const
{
    return tools::captionValue(*Command1);
}

std::unique_ptr<tools::Tool> frmInsert::makeTool() const
{
    auto tool = std::make_unique<tools::InsertFileTool>();
    tool->path = fileName();
    tool->fields = rangeFields();
    return tool;
}
