#pragma once

#include "storeclaim.h"

#include <QString>

class TESSARC;

namespace recovery {
struct LeftStore;
}

namespace tessarc {
class Program;
}

// The program a window or a form without a window works on, from its stores to its file: the
// stores it is loaded into (claimed for this process alone), loading a file into fresh ones and
// letting go of those of the program it replaces, saving it, and opening the changes a stopped
// instance left. Free of widgets: with a view (the window's editor control) the view loads and
// saves, showing what it does and saying what went wrong; without one (a form without a window)
// the session does it on the program itself and error() says why it failed.
class ProgramSession
{
public:
    // `folder` holds the stores. Each program opened gets fresh stores: the lowest free number of
    // the folder, claimed; or, with a `stem`, always that stem's (a form without a window: "cli"
    // and its process id, apart from the stores of any window).
    ProgramSession(tessarc::Program &program, QString folder, QString stem = QString());

    // The control that shows the program; null for none.
    void setView(TESSARC *view) { m_view = view; }

    // Points the program at fresh stores of this session, claimed.
    void claimFreshStores();
    // Loads `path` into fresh stores with records of `recordLength` bytes. The stores of the
    // program it replaces go, loaded or not, and its history with them. False when the load
    // failed (said by the view, or by error()): then no program is open.
    bool open(const QString &path, int recordLength);
    // Saves the program to `path`, written whole and safely; false when it was not (said as for open).
    bool save(const QString &path);
    // Opens, in the view, the changes a stopped instance left in the stores `left` names, which
    // `claim` holds. False, with this session's own stores kept, when nothing could be opened (the
    // view has said why); `lost` says which lines were left out.
    bool openLeft(const recovery::LeftStore &left, tessarc::StoreClaim claim, QString &lost);

    // Without a view: why the last open or save failed.
    const QString &error() const { return m_error; }

private:
    tessarc::Program &m_program;
    TESSARC *m_view = nullptr;
    QString m_folder;
    QString m_stem;
    QString m_error;
    // The stores of the program shown are this process's for as long as it holds them.
    tessarc::StoreClaim m_claim;
};
