#include "frmabout.h"

#include "mainform.h"
#include "version.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(mainform &owner) : QDialog(&owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    owner.applyIcon(this);
    Label1 = new QLabel(owner.globalVar.brand.programTitle, this);
    label2 = new QLabel(QStringLiteral("Version:%1.%2.%3").arg(VORNEXA_VERSION_MAJOR).arg(VORNEXA_VERSION_MINOR).arg(VORNEXA_VERSION_PATCH), this);
    Label3 = new QLabel(QStringLiteral(VORNEXA_LEGAL_NOTICE), this);
    Label8 = new QLabel(owner.globalVar.brand.webAddress, this);
    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    label2->setObjectName(QStringLiteral("label2"));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label8->setObjectName(QStringLiteral("Label8"));
    Command1->setObjectName(QStringLiteral("Command1"));
    QFont title = Label1->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    Label1->setFont(title);
    Label3->setWordWrap(true);
    Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(label2);
    layout->addWidget(Label3);
    layout->addWidget(Label8);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    connect(Command1, &QPushButton::clicked, this, &QDialog::close);
}
