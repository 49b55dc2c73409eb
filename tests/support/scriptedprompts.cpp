#include "scriptedprompts.h"

// Records the prompt and takes its queued answer.
QVariant ScriptedPrompts::next(const QString &what)
{
    log.append(what);
    if (m_answers.isEmpty()) {
        unexpected.append(what);
        return QVariant();
    }
    return m_answers.takeFirst();
}

void ScriptedPrompts::clear()
{
    log.clear();
    unexpected.clear();
    dialogFolders.clear();
    opened.clear();
    documentsOpen = true;
    m_answers.clear();
}

void ScriptedPrompts::message(QWidget *, const QString &text, const QString &title)
{
    log.append(QStringLiteral("message: %1: %2").arg(title, text));
}

Prompts::Answer ScriptedPrompts::ask(QWidget *, const QString &text, const QString &title, Buttons buttons)
{
    const QVariant a = next(QStringLiteral("ask: %1: %2").arg(title, text));
    if (!a.isValid())
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    return static_cast<Answer>(a.toInt());
}

std::optional<QString> ScriptedPrompts::input(QWidget *, const QString &prompt, const QString &title, const QString &)
{
    const QVariant a = next(QStringLiteral("input: %1: %2").arg(title, prompt));
    if (!a.isValid())
        return std::nullopt;
    return a.toString();
}

QString ScriptedPrompts::openFileName(QWidget *, const QString &folder)
{
    dialogFolders.append(folder);
    return next(QStringLiteral("open dialog")).toString();
}

QString ScriptedPrompts::saveFileName(QWidget *, const QString &folder)
{
    dialogFolders.append(folder);
    return next(QStringLiteral("save dialog")).toString();
}

std::optional<QFont> ScriptedPrompts::chooseFont(QWidget *, const QFont &)
{
    const QVariant a = next(QStringLiteral("font dialog"));
    if (!a.isValid())
        return std::nullopt;
    return a.value<QFont>();
}

std::optional<QColor> ScriptedPrompts::chooseColor(QWidget *, const QColor &)
{
    const QVariant a = next(QStringLiteral("colour dialog"));
    if (!a.isValid())
        return std::nullopt;
    return a.value<QColor>();
}

bool ScriptedPrompts::openDocument(const QString &path)
{
    opened.append(path);
    return documentsOpen;
}

void ScriptedPrompts::warning(QWidget *, const QString &title, const QString &text)
{
    log.append(QStringLiteral("warning: %1: %2").arg(title, text));
}

void ScriptedPrompts::beep()
{
    log.append(QStringLiteral("beep"));
}
