#include "frmfind.h"

#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "prompts.h"
#include "steptext.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using search::named;

Find::Find(Host &host) : SearchWindow(host, nullptr, QStringLiteral("Find"))
{
    setObjectName(QStringLiteral("Find"));
    Label1 = named(new QLabel(QStringLiteral("Find"), this), "Label1");
    txtFind = named(new QLineEdit(this), "txtFind");
    case1 = named(new QCheckBox(QStringLiteral("Match Case"), this), "case1");
    Label3 = named(new QLabel(QStringLiteral("Find Where The"), this), "Label3");
    txtAxis = named(new QLineEdit(this), "txtAxis");
    Label4 = named(new QLabel(QStringLiteral("Axis Is"), this), "Label4");
    search::makeComparison(this, Frame1, g, l, e, n);
    txtValue = named(new QLineEdit(this), "txtValue");
    go2 = named(new QPushButton(QStringLiteral("F&ind"), this), "go2");
    Go->setText(QStringLiteral("&Find"));
    Label1->setBuddy(txtFind);
    Label3->setBuddy(txtAxis);
    txtFind->setMinimumWidth(txtFind->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 30);
    txtAxis->setMaximumWidth(txtAxis->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 16);
    txtValue->setMaximumWidth(txtValue->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12 + 16);

    // The text search on one row, the axis search on the next, each with its own button.
    auto *rows = new QGridLayout;
    ownFields()->addLayout(rows);
    auto *text = new QHBoxLayout;
    text->addWidget(txtFind, 1);
    text->addWidget(case1);
    rows->addWidget(Label1, 0, 0);
    rows->addLayout(text, 0, 1);
    rows->addWidget(Go, 0, 2);
    auto *axis = new QHBoxLayout;
    axis->addWidget(txtAxis);
    axis->addWidget(Label4);
    axis->addWidget(Frame1);
    axis->addWidget(txtValue);
    axis->addStretch(1);
    rows->addWidget(Label3, 1, 0);
    rows->addLayout(axis, 1, 1);
    rows->addWidget(go2, 1, 2);
    rows->setColumnStretch(1, 1);

    addRunButton(Go, QStringLiteral("Find Next"), case1);
    addRunButton(go2, QStringLiteral("Find Next"), txtValue);
    for (QWidget *field : {static_cast<QWidget *>(txtAxis), static_cast<QWidget *>(txtValue),
                           static_cast<QWidget *>(Frame1)})
        pressWithEnter(field, go2);
    setFirstField(txtFind);
}

search::FindKind Find::kind() const
{
    return pressed() == go2 ? search::FindKind::Axis : search::FindKind::Text;
}

search::FindFields Find::fields() const
{
    return {txtFind->text(), case1->isChecked(), txtAxis->text(), search::chosenComparison(l, e, n),
            txtValue->text()};
}

QString Find::stepSettings() const
{
    tools::StepText step(host().values().brand.stepSeparator);
    step.text(txtFind->text()).check(case1->isChecked()).text(txtAxis->text());
    for (QRadioButton *option : {g, l, e, n})
        step.option(option->isChecked());
    step.text(txtValue->text()).range(rangeFields());
    return step.result();
}

std::optional<QString> Find::checkFields() const
{
    return search::checkFindFields(kind(), fields(), host().values().messages.textNull);
}

QString Find::search(const tools::LineRange &range)
{
    m_hit.reset();
    const search::LineMatcher matcher(kind(), fields(), host().values().numbers.spaces);
    tessarc::LineStore store;
    store.open(host().editor().tempFile, host().editor().recLen, false);
    const search::FindResult result = search::findNext(store, matcher, range, 0, [&](qint64 searched) {
        showProgressOn(searched, range);
        return true;
    });
    if (result.end == search::SearchEnd::Failed)
        return result.failure + QLatin1Char('.');
    m_hit = result.hit;
    return QString();
}

void Find::afterRun(QPushButton *button)
{
    TESSARC &editor = host().editor();
    if (!m_hit) {
        // The range holds no hit: StartLine stays, so the next press searches the same range.
        host().prompts().message(this, QStringLiteral("Done Searching."),
                                 host().values().brand.programTitle + QStringLiteral(" SEARCH"));
        return;
    }
    editor.setLine(static_cast<int>(m_hit->line));
    // A hit on the range's last line puts StartLine past it: the next press fails the range check.
    StartLine->setText(QString::number(m_hit->line + 1));
    LINE2LINE->setChecked(true);
    editor.selectText(static_cast<double>(m_hit->view.start), static_cast<double>(m_hit->view.length));
    // The hit stays selected in the view while Find Next waits here for the next press.
    activateWindow();
    button->setFocus(Qt::OtherFocusReason);
}
