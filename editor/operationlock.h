#pragma once

#include "tessarc_export.h"

#include <QObject>

namespace tessarc {

// The one busy flag of the whole system: held by one operation at a time (a load or save, a tool
// run, a search, a print, a send or a receive). While it is held a second operation is refused and
// the control's own store work returns at once. Taking and giving it back tells whoever listens
// (the main window greys what must not run meanwhile, in one place).
class TESSARC_EXPORT OperationLock : public QObject
{
    Q_OBJECT

public:
    // The flag itself, as the control's `Run` shows it. A host that writes it directly holds the
    // lock without telling anyone, as hosts always could.
    bool held = false;

    // Takes the lock for an operation; false when it is held already.
    bool take();
    // Gives it back.
    void release();

signals:
    void busyChanged(bool busy);
};

} // namespace tessarc
