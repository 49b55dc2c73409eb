#pragma once

#include "storeclaim.h"

#include <QString>

class TESSARC;

namespace recovery {
struct LeftStore;
}

// The program a window or a form without a window works on, from its stores to its file: the
// stores it is loaded into (claimed for this process alone), loading a file into fresh ones and
// letting go of those of the program it replaces, and opening the changes a stopped instance left.
// Free of widgets: the window shows what it does (its menus, captions and questions), the forms
// print it.
class ProgramSession
{
public:
    // `folder` holds the stores. Each program opened gets fresh stores: the lowest free number of
    // the folder, claimed; or, with a `stem`, always that stem's (a form without a window: "cli"
    // and its process id, apart from the stores of any window).
    ProgramSession(TESSARC &editor, QString folder, QString stem = QString());

    // Points the control at fresh stores of this session, claimed.
    void claimFreshStores();
    // Loads `path` into fresh stores with records of `recordLength` bytes. The stores of the
    // program it replaces go, loaded or not, and its history with them. False when the load
    // failed (the control has said why): then no program is open.
    bool open(const QString &path, int recordLength);
    // Opens the changes a stopped instance left in the stores `left` names, which `claim` holds.
    // False, with this session's own stores kept, when nothing could be opened (the control has
    // said why); `lost` says which lines were left out.
    bool openLeft(const recovery::LeftStore &left, tessarc::StoreClaim claim, QString &lost);

private:
    TESSARC &m_editor;
    QString m_folder;
    QString m_stem;
    // The stores of the program shown are this process's for as long as it holds them.
    tessarc::StoreClaim m_claim;
};
