#pragma once

#include "controlprompts.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <optional>

class QWidget;

// Everything VORNEXA asks or tells the machinist modally goes through here: message boxes,
// questions, input boxes and the file, font and colour dialogs, plus the system beep and the
// document opener. The application uses the Qt dialogs; tests install a scripted stand-in that
// answers from a queue and records every question, so whole flows run synchronously.
class Prompts : public tessarc::ControlPrompts
{
public:
    enum class Answer { Ok, Yes, No, Cancel };
    enum class Buttons { Ok, YesNo, YesNoCancel };

    // A message with an OK button.
    virtual void message(QWidget *parent, const QString &text, const QString &title) = 0;
    // A question; the answer is one of its buttons.
    virtual Answer ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons) = 0;
    // An input box; empty when cancelled.
    virtual std::optional<QString> input(QWidget *parent, const QString &prompt, const QString &title,
                                         const QString &initial) = 0;
    // The open and save dialogs, starting in `folder`; empty when nothing was chosen.
    virtual QString openFileName(QWidget *parent, const QString &folder) = 0;
    virtual QString saveFileName(QWidget *parent, const QString &folder) = 0;
    // The font and colour dialogs; empty when cancelled.
    virtual std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) = 0;
    virtual std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) = 0;
    // Opens a document with the desktop's default program; false when nothing could open it.
    virtual bool openDocument(const QString &path) = 0;
};

// The Qt dialogs.
class QtPrompts : public Prompts
{
public:
    void message(QWidget *parent, const QString &text, const QString &title) override;
    Answer ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons) override;
    std::optional<QString> input(QWidget *parent, const QString &prompt, const QString &title,
                                 const QString &initial) override;
    QString openFileName(QWidget *parent, const QString &folder) override;
    QString saveFileName(QWidget *parent, const QString &folder) override;
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    bool openDocument(const QString &path) override;
};
