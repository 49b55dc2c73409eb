#include "controlprompts.h"

#include <QApplication>
#include <QMessageBox>

namespace tessarc {

ControlPrompts::~ControlPrompts() = default;

void ControlPrompts::warning(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text);
}

void ControlPrompts::beep()
{
    QApplication::beep();
}

} // namespace tessarc
