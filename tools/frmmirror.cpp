#include "frmmirror.h"

#include "wordscan.h"

#include "globalvar.h"
#include "host.h"
#include "linework.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

frmMirror::frmMirror(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Mirror"))
{
    setObjectName(QStringLiteral("frmMirror"));
    auto *fields = new QGridLayout;
    Label3 = new QLabel(QStringLiteral("Axis:"), this);
    txtAxis = new QLineEdit(this);
    Label4 = new QLabel(QStringLiteral("Mirror At:"), this);
    txtValue = new QLineEdit(this);
    g02g03 = new QCheckBox(QStringLiteral("G02 <--> G03"), this);
    g41g42 = new QCheckBox(QStringLiteral("G41 <--> G42"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    txtAxis->setObjectName(QStringLiteral("txtAxis"));
    Label4->setObjectName(QStringLiteral("Label4"));
    txtValue->setObjectName(QStringLiteral("txtValue"));
    g02g03->setObjectName(QStringLiteral("g02g03"));
    g41g42->setObjectName(QStringLiteral("g41g42"));
    txtAxis->setMaxLength(1);
    txtAxis->setMaximumWidth(txtAxis->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    Label3->setBuddy(txtAxis);
    Label4->setBuddy(txtValue);
    g02g03->setChecked(true);
    g41g42->setChecked(true);
    fields->addWidget(Label3, 0, 0);
    fields->addWidget(txtAxis, 0, 1, Qt::AlignLeft);
    fields->addWidget(Label4, 1, 0);
    fields->addWidget(txtValue, 1, 1);
    auto *swaps = new QVBoxLayout;
    swaps->addWidget(g02g03);
    swaps->addWidget(g41g42);
    swaps->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addLayout(fields, 1);
    row->addSpacing(12);
    row->addLayout(swaps);
    ownFields()->addLayout(row);
    setFirstField(txtAxis);

    // The window's own defaults.
    Label4->setText(Label4->text() + QStringLiteral("\n(Number Required)"));
}

tools::MirrorSettings frmMirror::settings() const
{
    // A check box counts only when ticked.
    return {txtAxis->text(), txtValue->text(), g02g03->checkState() == Qt::Checked,
            g41g42->checkState() == Qt::Checked};
}

std::unique_ptr<tools::Tool> frmMirror::makeTool() const
{
    return tools::toolWith<tools::MirrorTool>(settings(), rangeFields());
}
