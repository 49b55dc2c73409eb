#include "shellwindows.h"

#include "frmdefine.h"
#include "frmreclen.h"
#include "host.h"
#include "options.h"

void registerShellWindows(Host &host)
{
    host.addWindow(QStringLiteral("options1"), [](Host &h) { return new Options(h); });
    host.addWindow(QStringLiteral("setRecLen"), [](Host &h) { return new frmRecLen(h); });
    host.addWindow(QStringLiteral("changedefinitions1"), [](Host &h) { return new frmDefine(h); });
    host.addCommand(QStringLiteral("define"), [&host]() { defineSelectedText(host); });
    host.addCommand(QStringLiteral("define1"), [&host]() { defineSelectedText(host); });
}
