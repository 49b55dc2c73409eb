#include "prompts.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

namespace {

// A box asked over a window gives that window the focus back when it closes: the window manager
// would hand it to the main window, and the machinist's next key (Escape, Enter) would land there.
class FocusBack
{
public:
    explicit FocusBack(QWidget *parent) : m_window(parent ? parent->window() : nullptr) {}
    ~FocusBack()
    {
        if (m_window && m_window->isVisible()) {
            m_window->raise();
            m_window->activateWindow();
        }
    }
    FocusBack(const FocusBack &) = delete;
    FocusBack &operator=(const FocusBack &) = delete;

private:
    QPointer<QWidget> m_window;
};

} // namespace

void QtPrompts::message(QWidget *parent, const QString &text, const QString &title)
{
    const FocusBack back(parent);
    QMessageBox::information(parent, title, text);
}

Prompts::Answer QtPrompts::ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons)
{
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == Buttons::YesNo)
        set = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == Buttons::YesNoCancel)
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    const FocusBack back(parent);
    switch (QMessageBox::question(parent, title, text, set)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

std::optional<QString> QtPrompts::input(QWidget *parent, const QString &prompt, const QString &title,
                                        const QString &initial)
{
    const FocusBack back(parent);
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

namespace {

// The kinds of file the dialogs offer: programs first, then every file.
const QString kProgramFilters =
    QStringLiteral("Programs (*.nc *.ngc *.tap *.cnc *.gc *.eia *.txt *.NC *.NGC *.TAP *.CNC *.GC *.EIA *.TXT);;All Files (*)");

} // namespace

QString QtPrompts::openFileName(QWidget *parent, const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, kProgramFilters);
}

QString QtPrompts::saveFileName(QWidget *parent, const QString &folder)
{
    // The overwrite question is the caller's own. A PDF is offered as what it is.
    const QString filters = folder.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                                ? QStringLiteral("PDF Files (*.pdf);;All Files (*)")
                                : kProgramFilters;
    return QFileDialog::getSaveFileName(parent, QString(), folder, filters, nullptr, QFileDialog::DontConfirmOverwrite);
}

std::optional<QFont> QtPrompts::chooseFont(QWidget *parent, const QFont &initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return font;
}

std::optional<QColor> QtPrompts::chooseColor(QWidget *parent, const QColor &initial)
{
    const QColor color = QColorDialog::getColor(initial, parent);
    if (!color.isValid())
        return std::nullopt;
    return color;
}

bool QtPrompts::openDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
