#include "commwindows.h"
#include "frmcompare.h"
#include "headless.h"
#include "macrowindows.h"
#include "toolpathdock.h"
#include "mainform.h"
#include "prompts.h"
#include "searchwindows.h"
#include "shellwindows.h"
#include "toolwindows.h"

#include <QApplication>
#include <QIcon>

#include <csignal>

// The composition root: builds the application, puts every subsystem's windows behind their menu
// items, and shows the main window; or runs one of the forms without a window.
int main(int argc, char *argv[])
{
    // A write past a file-size limit, or to a reader that has gone, fails and is reported as every
    // failed write is; it never ends the process unsaid.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // The forms without a window (vornexa --help lists them) run before any window is made.
    if (const std::optional<int> code = headless::run(argc, argv))
        return *code;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa"));
    QApplication::setApplicationVersion(QStringLiteral(VORNEXA_VERSION));
    // The desktop's entry and icon, once installed (a program folder's own icon still comes first).
    QApplication::setDesktopFileName(QStringLiteral("vornexa"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vornexa")));

    QtPrompts prompts;
    mainform window(prompts);
    registerShellWindows(window);
    tools::registerWindows(window);
    comm::registerWindows(window);
    search::registerWindows(window);
    macro::registerWindows(window);
    plot::registerWindows(window);
    compare::registerWindows(window);

    window.Form_Load(QApplication::arguments().mid(1));
    window.show();
    return QApplication::exec();
}
