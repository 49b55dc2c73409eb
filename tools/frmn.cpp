#include "frmn.h"

#include "globalvar.h"
#include "host.h"
#include "prompts.h"
#include "steptools.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <functional>

namespace {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

frmN::frmN(Host &host, QWidget *owner) : ToolWindow(host, owner, QStringLiteral("Add / Remove N"), false)
{
    setObjectName(QStringLiteral("frmN"));

    frame1 = named(new QGroupBox(QStringLiteral("Add / Remove N"), this), "frame1");
    auto *modes = new QHBoxLayout(frame1);
    add = named(new QRadioButton(QStringLiteral("&Add N"), frame1), "add");
    remove = named(new QRadioButton(QStringLiteral("&Remove N"), frame1), "remove");
    modes->addWidget(add);
    modes->addWidget(remove);
    modes->addStretch(1);
    add->setChecked(true);

    Frame2 = named(new QGroupBox(this), "Frame2");
    auto *numbering = new QGridLayout(Frame2);
    Option1 = named(new QRadioButton(QStringLiteral("Renumber Using Real Line Number"), Frame2), "Option1");
    Option2 = named(new QRadioButton(QStringLiteral("Renumber Starting At:"), Frame2), "Option2");
    txtStartNumber = named(new QLineEdit(QStringLiteral("1"), Frame2), "txtStartNumber");
    Label1 = named(new QLabel(QStringLiteral("Increment By:"), Frame2), "Label1");
    txtInc = named(new QLineEdit(QStringLiteral("1"), Frame2), "txtInc");
    Check1 = named(new QCheckBox(QStringLiteral("Insert Space After N"), Frame2), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("Remove any already existing N"), Frame2), "Check2");
    txtStartNumber->setMaxLength(15);
    for (QLineEdit *field : {txtStartNumber, txtInc}) {
        field->setAlignment(Qt::AlignRight);
        field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000000000000000")) + 12);
        field->installEventFilter(this);
    }
    Label1->setBuddy(txtInc);
    Option1->setChecked(true);
    Check1->setChecked(true);
    Check2->setChecked(true);
    numbering->addWidget(Option1, 0, 0, 1, 2);
    numbering->addWidget(Option2, 1, 0);
    numbering->addWidget(txtStartNumber, 1, 1);
    numbering->addWidget(Label1, 2, 0, Qt::AlignRight);
    numbering->addWidget(txtInc, 2, 1);
    numbering->addWidget(Check1, 3, 0, 1, 2);
    numbering->addWidget(Check2, 4, 0, 1, 2);

    ownFields()->addWidget(frame1);
    ownFields()->addWidget(Frame2);
    setFirstField(add);

    // Chosen by a click or by a step being filled in alike.
    connect(add, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            add_Click();
    });
    connect(remove, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            remove_Click();
    });
}

void frmN::add_Click()
{
    Frame2->setVisible(true);
}

void frmN::remove_Click()
{
    Frame2->setVisible(false);
}

bool frmN::numberKeyAccepted(QKeyEvent *event)
{
    const int key = event->key();
    // Moving through the window, or a key that types nothing, is no typing into the number.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || (event->text().isEmpty() && key != Qt::Key_Backspace))
        return true;
    Option2->setChecked(true);
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
        return true;
    // The usual editing shortcuts still work; what they bring in is checked when Go is pressed.
    for (QKeySequence::StandardKey shortcut : {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
                                               QKeySequence::SelectAll, QKeySequence::Undo, QKeySequence::Redo}) {
        if (event->matches(shortcut))
            return true;
    }
    const QString text = event->text();
    return text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) <= QLatin1Char('9');
}

bool frmN::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == txtStartNumber || watched == txtInc) && event->type() == QEvent::KeyPress &&
        !numberKeyAccepted(static_cast<QKeyEvent *>(event))) {
        host().prompts().beep();
        return true;
    }
    return ToolWindow::eventFilter(watched, event);
}

tools::LineNumberSettings frmN::settings() const
{
    // A check box counts only when ticked.
    return {add->isChecked(), !Option2->isChecked(), txtStartNumber->text(), txtInc->text(),
            Check1->checkState() == Qt::Checked, Check2->checkState() == Qt::Checked};
}

std::unique_ptr<tools::Tool> frmN::makeTool() const
{
    return tools::toolWith<tools::LineNumberTool>(settings(), rangeFields());
}
