#include "findwindow.h"

#include "globalvar.h"
#include "host.h"
#include "steptext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace search {

FindWindow::FindWindow(Host &host, const QString &caption, const QString &search, const QString &after)
    : SearchWindow(host, nullptr, caption)
{
    Label1 = named(new QLabel(QStringLiteral("Find"), this), "Label1");
    txtFind = named(new QLineEdit(this), "txtFind");
    case1 = named(new QCheckBox(QStringLiteral("Match Case"), this), "case1");
    Label3 = named(new QLabel(QStringLiteral("Find Where The"), this), "Label3");
    txtAxis = named(new QLineEdit(this), "txtAxis");
    Label4 = named(new QLabel(QStringLiteral("Axis Is"), this), "Label4");
    makeComparison(this, Frame1, g, l, e, n);
    txtValue = named(new QLineEdit(this), "txtValue");
    go2 = named(new QPushButton(QStringLiteral("F&ind") + search.mid(4), this), "go2");
    Go->setText(QStringLiteral("&") + search);
    Label1->setBuddy(txtFind);
    Label3->setBuddy(txtAxis);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    txtFind->setMinimumWidth(digit * 30);
    txtAxis->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 16);
    txtValue->setMaximumWidth(digit * 12 + 16);

    // The text search on one row, the axis search on the next, each with its own button.
    m_rows = new QGridLayout;
    ownFields()->addLayout(m_rows, 1);
    auto *text = new QHBoxLayout;
    text->addWidget(txtFind, 1);
    text->addWidget(case1);
    m_rows->addWidget(Label1, 0, 0);
    m_rows->addLayout(text, 0, 1);
    m_rows->addWidget(Go, 0, 2);
    auto *axis = new QHBoxLayout;
    axis->addWidget(txtAxis);
    axis->addWidget(Label4);
    axis->addWidget(Frame1);
    axis->addWidget(txtValue);
    axis->addStretch(1);
    m_rows->addWidget(Label3, 1, 0);
    m_rows->addLayout(axis, 1, 1);
    m_rows->addWidget(go2, 1, 2);
    m_rows->setColumnStretch(1, 1);

    addRunButton(Go, after, case1);
    addRunButton(go2, after, txtValue);
    for (QWidget *field : {static_cast<QWidget *>(txtAxis), static_cast<QWidget *>(txtValue),
                           static_cast<QWidget *>(Frame1)})
        pressWithEnter(field, go2);
    setFirstField(txtFind);
}

FindKind FindWindow::kind() const
{
    return pressed() == go2 ? FindKind::Axis : FindKind::Text;
}

FindFields FindWindow::fields() const
{
    return {txtFind->text(), case1->isChecked(), txtAxis->text(), chosenComparison(l, e, n), txtValue->text()};
}

LineMatcher FindWindow::matcher() const
{
    const tools::LineRules rules = lineRules();
    return LineMatcher(kind(), fields(), tessarc::WordReader(rules.comments, rules.spaces));
}

QString FindWindow::stepSettings() const
{
    tools::StepText step(host().values().brand.stepSeparator);
    step.text(txtFind->text()).check(case1->isChecked()).text(txtAxis->text());
    for (QRadioButton *option : {g, l, e, n})
        step.option(option->isChecked());
    step.text(txtValue->text()).range(rangeFields());
    return step.result();
}

std::optional<QString> FindWindow::checkFields() const
{
    return checkFindFields(kind(), fields(), host().values().messages.textNull);
}

} // namespace search
