#include "mainform.h"
#include "prompts.h"

#include <QApplication>

// The composition root: builds the application, gives the menu items the windows that exist,
// and shows the main window.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa"));
    QApplication::setApplicationVersion(QStringLiteral(VORNEXA_VERSION));

    QtPrompts prompts;
    mainform window(prompts);
    window.Form_Load(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
