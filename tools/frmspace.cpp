#include "frmspace.h"

#include "globalvar.h"
#include "host.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QRadioButton>

frmSpace::frmSpace(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Space"), false)
{
    setObjectName(QStringLiteral("frmSpace"));
    frame1 = new QGroupBox(QStringLiteral("Space"), this);
    add = new QRadioButton(QStringLiteral("Add Spaces"), frame1);
    remove = new QRadioButton(QStringLiteral("Remove Spaces"), frame1);
    frame1->setObjectName(QStringLiteral("frame1"));
    add->setObjectName(QStringLiteral("add"));
    remove->setObjectName(QStringLiteral("remove"));
    auto *modes = new QHBoxLayout(frame1);
    modes->addWidget(add);
    modes->addWidget(remove);
    modes->addStretch(1);
    add->setChecked(true);
    ownFields()->addWidget(frame1);
    setFirstField(add);
}

tools::SpaceSettings frmSpace::settings() const
{
    return {!remove->isChecked()};
}

std::unique_ptr<tools::Tool> frmSpace::makeTool() const
{
    return tools::toolWith<tools::SpaceTool>(settings(), rangeFields());
}
