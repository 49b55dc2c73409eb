#include "shellwindows.h"

#include "frmreclen.h"
#include "host.h"
#include "options.h"

void registerShellWindows(Host &host)
{
    host.addWindow(QStringLiteral("options1"), [](Host &h) { return new Options(h); });
    host.addWindow(QStringLiteral("setRecLen"), [](Host &h) { return new frmRecLen(h); });
}
