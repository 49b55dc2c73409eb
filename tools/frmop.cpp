#include "frmop.h"

#include "wordscan.h"

#include "globalvar.h"
#include "host.h"
#include "linework.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <utility>

frmOp::frmOp(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Operations"))
{
    setObjectName(QStringLiteral("frmOp"));
    auto *fields = new QGridLayout;
    Label3 = new QLabel(QStringLiteral("Axis:"), this);
    txtAxis = new QLineEdit(this);
    Label4 = new QLabel(QStringLiteral("Value:"), this);
    txtValue = new QLineEdit(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    txtAxis->setObjectName(QStringLiteral("txtAxis"));
    Label4->setObjectName(QStringLiteral("Label4"));
    txtValue->setObjectName(QStringLiteral("txtValue"));
    txtAxis->setMaxLength(1);
    txtAxis->setMaximumWidth(txtAxis->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    Label3->setBuddy(txtAxis);
    Label4->setBuddy(txtValue);
    fields->addWidget(Label3, 0, 0);
    fields->addWidget(txtAxis, 0, 1, Qt::AlignLeft);
    fields->addWidget(Label4, 1, 0);
    fields->addWidget(txtValue, 1, 1);

    Frame1 = new QGroupBox(QStringLiteral("Operation:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *ops = new QVBoxLayout(Frame1);
    Option1 = new QRadioButton(QStringLiteral("Add"), Frame1);
    Option2 = new QRadioButton(QStringLiteral("Subtract"), Frame1);
    Option3 = new QRadioButton(QStringLiteral("Multiply"), Frame1);
    Option4 = new QRadioButton(QStringLiteral("Divide"), Frame1);
    int n = 1;
    for (QRadioButton *option : {Option1, Option2, Option3, Option4}) {
        option->setObjectName(QStringLiteral("Option%1").arg(n++));
        ops->addWidget(option);
    }
    Option1->setChecked(true);
    // A button chosen by a click or by a step being filled in sets the selector alike.
    const std::pair<QRadioButton *, void (frmOp::*)()> handlers[] = {
        {Option1, &frmOp::Option1_Click}, {Option2, &frmOp::Option2_Click},
        {Option3, &frmOp::Option3_Click}, {Option4, &frmOp::Option4_Click}};
    for (const auto &[option, handler] : handlers) {
        connect(option, &QRadioButton::toggled, this, [this, handler = handler](bool on) {
            if (on)
                (this->*handler)();
        });
    }

    auto *row = new QHBoxLayout;
    row->addLayout(fields, 1);
    row->addWidget(Frame1);
    ownFields()->addLayout(row);
    setFirstField(txtAxis);

    // The window's own defaults.
    m_operation = tools::Operation::Add;
    Label4->setText(Label4->text() + QStringLiteral("\n(Number Required)"));
}

tools::OperationsSettings frmOp::settings() const
{
    return {m_operation, txtAxis->text(), txtValue->text()};
}

std::unique_ptr<tools::Tool> frmOp::makeTool() const
{
    return tools::toolWith<tools::OperationsTool>(settings(), rangeFields());
}
