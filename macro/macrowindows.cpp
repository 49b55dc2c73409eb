#include "macrowindows.h"

#include "frmmacro.h"
#include "frmmacrorun.h"
#include "host.h"

namespace macro {

void registerWindows(Host &host)
{
    host.addWindow(
        QStringLiteral("cdmacro"), [](Host &h) -> QWidget * { return new frmMacro(h); },
        [](QWidget *window) {
            static_cast<frmMacro *>(window)->Form_Load();
            window->show();
        });
    host.addWindow(
        QStringLiteral("rmacro"), [](Host &h) -> QWidget * { return new frmMacroRun(h); },
        [](QWidget *window) {
            static_cast<frmMacroRun *>(window)->Form_Load();
            window->show();
        });
}

} // namespace macro
