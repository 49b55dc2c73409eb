#pragma once

#include "prompts.h"

#include <QList>
#include <QStringList>
#include <QVariant>

// Stands in for every modal prompt of the application. Answers come from a queue, in the order the
// flow asks; every question, message, dialog and beep is recorded as one line ("ask: Overwrite?:
// File already exists, ..."), so a test states exactly what the machinist would have seen. A prompt
// with no queued answer is recorded as unexpected and gets the cancelling answer.
class ScriptedPrompts : public Prompts
{
public:
    // Queue the answers.
    void answer(Answer a) { m_answers.append(QVariant::fromValue(static_cast<int>(a))); }
    void answerText(const QString &text) { m_answers.append(text); }       // input boxes, file dialogs
    void answerFont(const QFont &font) { m_answers.append(font); }
    void answerColor(const QColor &color) { m_answers.append(color); }
    void answerNothing() { m_answers.append(QVariant()); } // a dialog closed without a choice

    void message(QWidget *parent, const QString &text, const QString &title) override;
    Answer ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons) override;
    std::optional<QString> input(QWidget *parent, const QString &prompt, const QString &title,
                                 const QString &initial) override;
    QString openFileName(QWidget *parent, const QString &folder) override;
    QString saveFileName(QWidget *parent, const QString &folder) override;
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    bool openDocument(const QString &path) override;
    void warning(QWidget *parent, const QString &title, const QString &text) override;
    void beep() override;

    QStringList log;           // everything shown, in order
    QStringList unexpected;    // prompts that found no queued answer
    QStringList dialogFolders; // the folder each file dialog started in
    QStringList opened;        // documents handed to the desktop
    bool documentsOpen = true; // whether the desktop opens what it is handed
    void clear();

private:
    QVariant next(const QString &what);
    QList<QVariant> m_answers;
};
