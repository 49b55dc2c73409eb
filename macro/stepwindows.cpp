#include "stepwindows.h"

#include "frmcomment.h"
#include "frmdel.h"
#include "frmfilter.h"
#include "frmformat.h"
#include "frminsert.h"
#include "frmmirror.h"
#include "frmn.h"
#include "frmop.h"
#include "frmopplus.h"
#include "frmreplace.h"
#include "frmspace.h"
#include "stepfields.h"

namespace macro {

namespace {

template <class Window>
tools::ToolWindow *make(Host &host, QWidget *owner)
{
    return new Window(host, owner);
}

constexpr StepWindow kWindows[] = {
    {"Operations", "Operations1", &make<frmOp>},
    {"Operations Plus", "opPLUS", &make<frmOpPlus>},
    {"Replace", "replace1", &make<frmReplace>},
    {"Insert File", "frmInsert1", &make<frmInsert>},
    {"Remove Comments", "frmComments1", &make<frmComment>},
    {"Remove Lines", "frmDel1", &make<frmDel>},
    {"Filter", "filter1", &make<frmFilter>},
    {"Format", "Format1", &make<frmFormat>},
    {"Mirror", "mirror1", &make<frmMirror>},
    {"Number", "frmn1", &make<frmN>},
    {"Space", "frmSpace1", &make<frmSpace>},
};

} // namespace

const StepWindow *stepWindow(const QString &stepName)
{
    for (const StepWindow &window : kWindows) {
        if (stepName == QLatin1String(window.step))
            return &window;
    }
    return nullptr;
}

QStringList recordableSteps()
{
    QStringList names;
    for (const QString &name : tools::stepNames()) {
        if (stepWindow(name))
            names.append(name);
    }
    return names;
}

} // namespace macro
