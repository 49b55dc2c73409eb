#include "toolwindows.h"

#include "frmcopy.h"
#include "frmdel.h"
#include "frmexportpc.h"
#include "frminsert.h"
#include "frmmirror.h"
#include "frmop.h"
#include "frmsize.h"
#include "host.h"

namespace tools {

namespace {

template <class Window>
QWidget *make(Host &host)
{
    return new Window(host);
}

// A tool window opens on the program: its range is filled before it shows.
void openTool(QWidget *window)
{
    static_cast<ToolWindow *>(window)->Form_Load();
}

struct ToolEntry
{
    const char *item;
    QWidget *(*make)(Host &);
};

constexpr ToolEntry kTools[] = {
    {"Operations1", &make<frmOp>},
    {"mirror1", &make<frmMirror>},
    {"size1", &make<frmSize>},
    {"exportPointCloud1", &make<frmExportPC>},
    {"frmInsert1", &make<frmInsert>},
    {"frmDel1", &make<frmDel>},
    {"copy2", &make<frmCopy>},
};

} // namespace

void registerWindows(Host &host)
{
    for (const ToolEntry &tool : kTools)
        host.addWindow(QString::fromLatin1(tool.item), tool.make, &openTool);
}

} // namespace tools
