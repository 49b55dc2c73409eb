#include "frmopplus.h"

#include "wordscan.h"

#include "globalvar.h"
#include "host.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <utility>

namespace {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLineEdit *letterField(QWidget *parent, const char *name)
{
    auto *field = named(new QLineEdit(parent), name);
    field->setMaxLength(1);
    field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 16);
    return field;
}

// "Add", "Subtract", "Multiply", "Divide" in a group captioned "Operation:".
QGroupBox *operationGroup(QWidget *parent, const char *name, const char *prefix, QRadioButton *(&buttons)[4])
{
    auto *group = named(new QGroupBox(QStringLiteral("Operation:"), parent), name);
    auto *column = new QVBoxLayout(group);
    const char *captions[] = {"Add", "Subtract", "Multiply", "Divide"};
    for (int i = 0; i < 4; ++i) {
        buttons[i] = new QRadioButton(QString::fromLatin1(captions[i]), group);
        buttons[i]->setObjectName(QString::fromLatin1(prefix) + QString::number(i + 1));
        column->addWidget(buttons[i]);
    }
    buttons[0]->setChecked(true);
    return group;
}

} // namespace

frmOpPlus::frmOpPlus(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Operations Plus"))
{
    setObjectName(QStringLiteral("frmOpPlus"));

    // "Find Where The [A] Axis Is [> < = < >] [value]", whose position is real or of the line only.
    Label5 = named(new QLabel(QStringLiteral("Find Where The"), this), "Label5");
    Text1 = letterField(this, "Text1");
    Label1 = named(new QLabel(QStringLiteral("Axis Is"), this), "Label1");
    Frame2 = named(new QGroupBox(this), "Frame2");
    auto *comparisons = new QHBoxLayout(Frame2);
    g = named(new QRadioButton(QStringLiteral(">"), Frame2), "g");
    l = named(new QRadioButton(QStringLiteral("<"), Frame2), "l");
    e = named(new QRadioButton(QStringLiteral("="), Frame2), "e");
    n = named(new QRadioButton(QStringLiteral("< >"), Frame2), "n");
    for (QRadioButton *button : {g, l, e, n})
        comparisons->addWidget(button);
    g->setChecked(true);
    Text2 = named(new QLineEdit(this), "Text2");
    Label5->setBuddy(Text1);
    Frame3 = named(new QGroupBox(this), "Frame3");
    auto *positions = new QHBoxLayout(Frame3);
    rp = named(new QRadioButton(QStringLiteral("Real Position"), Frame3), "rp");
    cp = named(new QRadioButton(QStringLiteral("Position On Current Line Only"), Frame3), "cp");
    rp->setToolTip(QStringLiteral(
        "If no value for the selected axis is inputted on current line, it will default to the last know position for "
        "that axis."));
    cp->setToolTip(QStringLiteral(
        "If no value for the selected axis is inputted on current line, it will NOT default to the last know position "
        "for that axis, but default to zero instead."));
    positions->addWidget(rp);
    positions->addWidget(cp);
    positions->addStretch(1);
    rp->setChecked(true);

    // "Then [operation] [value] to [B]".
    Label6 = named(new QLabel(QStringLiteral("Then"), this), "Label6");
    QRadioButton *operations[4];
    Frame1 = operationGroup(this, "Frame1", "Option", operations);
    Option1 = operations[0];
    Option2 = operations[1];
    Option3 = operations[2];
    Option4 = operations[3];
    Label4 = named(new QLabel(QStringLiteral("Value:"), this), "Label4");
    txtValue = named(new QLineEdit(this), "txtValue");
    Label3 = named(new QLabel(QStringLiteral("Axis:"), this), "Label3");
    txtAxis = letterField(this, "txtAxis");
    Label11 = named(new QLabel(this), "Label11");
    Label11->setFrameShape(QFrame::Panel);
    Label11->setFrameShadow(QFrame::Sunken);
    Label11->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label4->setBuddy(txtValue);
    Label3->setBuddy(txtAxis);

    // "Then [operation] [step] on that value, after each replacement or each line".
    Label7 = named(new QLabel(QStringLiteral("Then"), this), "Label7");
    QRadioButton *steps[4];
    Frame4 = operationGroup(this, "Frame4", "inc", steps);
    inc1 = steps[0];
    inc2 = steps[1];
    inc3 = steps[2];
    inc4 = steps[3];
    Label8 = named(new QLabel(QStringLiteral("Value:"), this), "Label8");
    inc = named(new QLineEdit(this), "inc");
    Check1 = named(new QCheckBox(QStringLiteral("Every Time A Replacement Is Made"), this), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("Every Time A Line Is Searched"), this), "Check2");
    Label8->setBuddy(inc);

    auto *condition = new QHBoxLayout;
    condition->addWidget(Label5);
    condition->addWidget(Text1);
    condition->addWidget(Label1);
    condition->addWidget(Frame2);
    condition->addWidget(Text2, 1);
    ownFields()->addLayout(condition);
    ownFields()->addWidget(Frame3);

    auto *operation = new QGridLayout;
    operation->addWidget(Label4, 0, 0);
    operation->addWidget(txtValue, 0, 1);
    operation->addWidget(Label3, 1, 0);
    operation->addWidget(txtAxis, 1, 1, Qt::AlignLeft);
    auto *current = new QLabel(QStringLiteral("Current Value:"), this);
    current->setToolTip(QStringLiteral("The operation value; a run that steps it leaves here the value it reached."));
    operation->addWidget(current, 2, 0);
    operation->addWidget(Label11, 2, 1);
    operation->setRowStretch(3, 1);
    auto *then = new QHBoxLayout;
    then->addWidget(Label6, 0, Qt::AlignTop);
    then->addWidget(Frame1);
    then->addLayout(operation, 1);
    ownFields()->addLayout(then);

    auto *step = new QGridLayout;
    step->addWidget(Label8, 0, 0);
    step->addWidget(inc, 0, 1);
    step->addWidget(Check1, 1, 0, 1, 2);
    step->addWidget(Check2, 2, 0, 1, 2);
    step->setRowStretch(3, 1);
    auto *stepping = new QHBoxLayout;
    stepping->addWidget(Label7, 0, Qt::AlignTop);
    stepping->addWidget(Frame4);
    stepping->addLayout(step, 1);
    ownFields()->addLayout(stepping);
    // The two "Then" captions line up with each other.
    Label7->setMinimumWidth(Label6->sizeHint().width());
    setFirstField(Text1);

    // A button chosen by a click or by a step being filled in sets the selector alike.
    const std::pair<QRadioButton *, void (frmOpPlus::*)()> handlers[] = {
        {Option1, &frmOpPlus::Option1_Click}, {Option2, &frmOpPlus::Option2_Click},
        {Option3, &frmOpPlus::Option3_Click}, {Option4, &frmOpPlus::Option4_Click}};
    for (const auto &[option, handler] : handlers) {
        connect(option, &QRadioButton::toggled, this, [this, handler = handler](bool on) {
            if (on)
                (this->*handler)();
        });
    }
    connect(txtValue, &QLineEdit::textChanged, this, &frmOpPlus::txtValue_Change);

    // The window's own defaults.
    m_operation = tools::Operation::Add;
    Label4->setText(Label4->text() + QStringLiteral("\n(Number Required)"));
    Label8->setText(Label8->text() + QStringLiteral("\n(Number Required)"));
}

void frmOpPlus::txtValue_Change()
{
    Label11->setText(txtValue->text());
}

tools::OperationsPlusSettings frmOpPlus::settings() const
{
    using tools::Comparison;
    using tools::Operation;
    tools::OperationsPlusSettings s;
    s.conditionAxis = Text1->text();
    s.comparison = l->isChecked()   ? Comparison::Less
                   : e->isChecked() ? Comparison::Equal
                   : n->isChecked() ? Comparison::NotEqual
                                    : Comparison::Greater;
    s.conditionValue = Text2->text();
    s.realPosition = !cp->isChecked();
    s.operation = m_operation;
    s.value = txtValue->text();
    s.axis = txtAxis->text();
    // A check box counts only when ticked.
    s.stepOnReplacement = Check1->checkState() == Qt::Checked;
    s.stepOnLine = Check2->checkState() == Qt::Checked;
    s.stepOperation = inc2->isChecked()   ? Operation::Subtract
                      : inc3->isChecked() ? Operation::Multiply
                      : inc4->isChecked() ? Operation::Divide
                                          : Operation::Add;
    s.step = inc->text();
    return s;
}

std::unique_ptr<tools::Tool> frmOpPlus::makeTool() const
{
    auto tool = std::make_unique<tools::OperationsPlusTool>();
    tool->settings = settings();
    tool->fields = rangeFields();
    // However the run ends, txtValue holds the value it reached (and so does Label11); with the
    // progress drawn, the value is drawn with it.
    tool->showValue = [field = txtValue](const QString &value) { field->setText(value); };
    tool->valueAsItGoes = host().values().numbers.calcPercent;
    return tool;
}
