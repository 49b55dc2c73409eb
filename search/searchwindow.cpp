#include "searchwindow.h"

#include "globalvar.h"
#include "host.h"
#include "operation.h"
#include "operationlock.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>


namespace search {

void makeComparison(QWidget *parent, QGroupBox *&Frame1, QRadioButton *&g, QRadioButton *&l, QRadioButton *&e,
                    QRadioButton *&n)
{
    Frame1 = named(new QGroupBox(parent), "Frame1");
    g = named(new QRadioButton(QStringLiteral(">"), Frame1), "g");
    l = named(new QRadioButton(QStringLiteral("<"), Frame1), "l");
    e = named(new QRadioButton(QStringLiteral("="), Frame1), "e");
    n = named(new QRadioButton(QStringLiteral("< >"), Frame1), "n");
    auto *row = new QHBoxLayout(Frame1);
    row->setContentsMargins(6, 2, 6, 2);
    for (QRadioButton *option : {g, l, e, n})
        row->addWidget(option);
    g->setChecked(true);
}

Comparison chosenComparison(const QRadioButton *l, const QRadioButton *e, const QRadioButton *n)
{
    if (l->isChecked())
        return Comparison::Less;
    if (e->isChecked())
        return Comparison::Equal;
    if (n->isChecked())
        return Comparison::NotEqual;
    return Comparison::Greater;
}

SearchWindow::SearchWindow(Host &host, QWidget *owner, const QString &caption)
    : ToolWindow(host, owner, caption)
{
    // Go runs as one of the window's buttons.
    disconnect(Go, &QPushButton::clicked, this, &ToolWindow::Go_Click);
}

void SearchWindow::addRunButton(QPushButton *button, const QString &after, QWidget *lastField)
{
    m_after.insert(button, after);
    m_tabAfter.append({lastField, button});
    m_enter.insert(button, button);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("100.00%")) + 32);
    connect(button, &QPushButton::clicked, this, [this, button]() { press(button); });
    if (button == Go)
        return; // the frame greys Go itself
    connect(&host().lock(), &tessarc::OperationLock::busyChanged, button, [this, button](bool busy) {
        if (!m_pressed)
            button->setEnabled(!busy);
    });
    button->setEnabled(!host().lock().held);
}

void SearchWindow::pressWithEnter(QWidget *field, QPushButton *button)
{
    m_enter.insert(field, button);
}

void SearchWindow::press(QPushButton *button)
{
    if (m_pressed) {
        // This window's own run holds the lock: refused like any second operation.
        if (!functions::beginOperation(host()))
            functions::endOperation(host());
        return;
    }
    m_pressed = button;
    m_ran = false;
    m_message.clear();
    const QString goCaption = Go->text();
    ToolWindow::Go_Click();
    m_pressed = nullptr;
    if (!m_ran)
        return;
    // The lock's guard gave Go the frame's caption; the pressed button reads as after a run.
    if (button != Go)
        Go->setText(goCaption);
    button->setText(m_after.value(button));
    // The frame has shown why a run stopped, and its note says so.
    if (m_message.isEmpty())
        afterRun(button);
}

void SearchWindow::ranTool(const tools::ToolOutcome &outcome)
{
    m_ran = outcome.ran;
    m_message = outcome.message;
    // The pressed button reads as after a run while the message is up (the lock's guard gives Go
    // its caption itself).
    if (m_ran && !m_message.isEmpty() && m_pressed != Go)
        m_pressed->setText(m_after.value(m_pressed));
}

void SearchWindow::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    // Each button follows its own fields, not the range.
    for (const auto &[field, button] : m_tabAfter)
        setTabOrder(field, button);
}

void SearchWindow::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        for (QWidget *w = focusWidget(); w && w != this; w = w->parentWidget()) {
            const auto field = m_enter.constFind(w);
            if (field == m_enter.cend())
                continue;
            if (*field && (*field)->isEnabled())
                (*field)->click();
            return;
        }
    }
    ToolWindow::keyPressEvent(event);
}

} // namespace search
