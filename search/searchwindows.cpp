#include "searchwindows.h"

#include "frmfind.h"
#include "frmfindlist.h"
#include "frmreplace.h"
#include "host.h"
#include "numbers.h"
#include "printing.h"
#include "tessarc.h"

#include <QLineEdit>

namespace search {

namespace {

template <class Window>
QWidget *make(Host &host)
{
    return new Window(host);
}

// A search window opens on the program: its range is filled before it shows.
void openTool(QWidget *window)
{
    static_cast<tools::ToolWindow *>(window)->Form_Load();
}

struct SearchEntry
{
    const char *item;
    QWidget *(*make)(Host &);
};

constexpr SearchEntry kWindows[] = {
    {"findButton", &make<Find>},
    {"replace1", &make<frmReplace>},
    {"find2", &make<frmFindList>},
};

} // namespace

void registerWindows(Host &host)
{
    for (const SearchEntry &entry : kWindows)
        host.addWindow(QString::fromLatin1(entry.item), entry.make, &openTool);
    // The context menu's Find: the Find window, with the selection to find.
    host.addCommand(QStringLiteral("pFind"), [&host]() {
        const QString selection = host.editor().getSel();
        if (auto *find = qobject_cast<Find *>(host.showWindow(QStringLiteral("findButton"))))
            find->txtFind->setText(selection);
    });
    // F3 and Shift+F3: the Find window searches again from its last hit; opened empty, it waits
    // for its text.
    for (const bool backwards : {false, true})
        host.addCommand(QLatin1String(backwards ? "findPrevious" : "findNext"), [&host, backwards]() {
            if (auto *find = qobject_cast<Find *>(host.showWindow(QStringLiteral("findButton"))))
                find->searchAgain(backwards);
        });
    // File, Print reads the answers of its boxes with the number routines, which stand above the
    // shell; so its item is served here, beside Find (List)'s printout of the same routine.
    host.addCommand(QStringLiteral("print1"), [&host]() { printing::printProgram(host, &functions::leadingNumber); });
}

} // namespace search
