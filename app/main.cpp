#include "mainform.h"
#include "prompts.h"
#include "searchwindows.h"
#include "shellwindows.h"
#include "toolwindows.h"

#include <QApplication>

// The composition root: builds the application, puts every subsystem's windows behind their menu
// items, and shows the main window.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa"));
    QApplication::setApplicationVersion(QStringLiteral(VORNEXA_VERSION));

    QtPrompts prompts;
    mainform window(prompts);
    registerShellWindows(window);
    tools::registerWindows(window);
    search::registerWindows(window);

    window.Form_Load(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
