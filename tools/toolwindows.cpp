#include "toolwindows.h"

#include "frmcopy.h"
#include "frmdel.h"
#include "frmexportpc.h"
#include "frminsert.h"
#include "frmcomment.h"
#include "frmfilter.h"
#include "frmformat.h"
#include "frmmirror.h"
#include "frmn.h"
#include "frmop.h"
#include "frmsize.h"
#include "frmopplus.h"
#include "frmspace.h"
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
    {"opPLUS", &make<frmOpPlus>},
    {"frmn1", &make<frmN>},
    {"frmSpace1", &make<frmSpace>},
    {"frmComments1", &make<frmComment>},
    {"filter1", &make<frmFilter>},
    {"Format1", &make<frmFormat>},
};

} // namespace

void registerWindows(Host &host)
{
    for (const ToolEntry &tool : kTools)
        host.addWindow(QString::fromLatin1(tool.item), tool.make, &openTool);
}

} // namespace tools
