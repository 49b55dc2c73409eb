#pragma once

#include "textmatch.h"
#include "toolwindow.h"

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace search {

// Gives `widget` its object name, the member's name, so tests and the step filler find it.
template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The comparison of an axis condition: the frame Frame1 with the option buttons g ">" (chosen),
// l "<", e "=" and n "< >", side by side, made as a window's members.
void makeComparison(QWidget *parent, QGroupBox *&Frame1, QRadioButton *&g, QRadioButton *&l, QRadioButton *&e,
                    QRadioButton *&n);
// The comparison the buttons choose.
Comparison chosenComparison(const QRadioButton *l, const QRadioButton *e, const QRadioButton *n);

// The frame of the search windows: a line-range tool window with several run buttons (Find has
// two, Replace five). Each runs the frame's Go flow (its checks, recording, the lock, the view
// read-only) as the pressed button: the pressed button shows the progress and, after a run, the
// caption the window gives it; the other buttons keep theirs. Enter presses the button that belongs
// to the field with the focus.
class SearchWindow : public tools::ToolWindow
{
    Q_OBJECT

public:
    // The button whose press is being checked or run; null between presses.
    QPushButton *pressed() const { return m_pressed; }

protected:
    SearchWindow(Host &host, QWidget *owner, const QString &caption);

    // Makes `button` a run button (Go is made one by the window too); `after` is its caption once
    // it has run. Like Go, it waits while another operation holds the lock. In the tab order it
    // follows `lastField`, the last field of its own.
    void addRunButton(QPushButton *button, const QString &after, QWidget *lastField);
    // Enter in `field` presses `button`; with a null button Enter does nothing there.
    void pressWithEnter(QWidget *field, QPushButton *button);

    // The pressed button's work, under the lock with the view read-only, for a window without a
    // tool of its own: the message to show once the lock is free (why the run stopped), or nothing.
    virtual QString search(const tools::LineRange &range) { (void)range; return QString(); }
    // After a run that ended without a message, once the lock is free and the page shown again.
    virtual void afterRun(QPushButton *button) { (void)button; }
    // Progress shows on the pressed button.
    QPushButton *progressButton() const override { return m_pressed ? m_pressed : Go; }

    QString runOn(const tools::LineRange &range) final { return search(range); }
    void ranTool(const tools::ToolOutcome &outcome) final;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void press(QPushButton *button);

    QPushButton *m_pressed = nullptr;
    bool m_ran = false;
    QString m_message;
    QHash<QPushButton *, QString> m_after;
    QHash<QWidget *, QPushButton *> m_enter;
    QList<std::pair<QWidget *, QPushButton *>> m_tabAfter;
};

} // namespace search
