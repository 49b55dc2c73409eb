#include "operation.h"

#include "globalvar.h"
#include "host.h"
#include "prompts.h"
#include "tessarc.h"

#include <QAbstractButton>

namespace functions {

bool beginOperation(Host &host)
{
    if (host.lock().take())
        return false;
    host.prompts().message(host.mainWindow(), host.values().messages.alreadyRunning,
                           host.values().brand.programTitle);
    return true;
}

void endOperation(Host &host)
{
    host.lock().release();
}

} // namespace functions

OperationGuard::OperationGuard(Host &host, QAbstractButton *go) : m_host(host), m_go(go)
{
    m_held = !functions::beginOperation(host);
}

OperationGuard::~OperationGuard()
{
    release();
}

void OperationGuard::lockView()
{
    if (!m_held)
        return;
    m_host.editor().lockup(true);
    m_viewLocked = true;
}

void OperationGuard::release()
{
    if (!m_held)
        return;
    m_held = false;
    if (m_go)
        m_go->setText(QStringLiteral("Go"));
    functions::endOperation(m_host);
    // The page is shown again from the store once the lock is free, since the control leaves its
    // page alone while an operation runs; a program that became shorter shows its last page.
    TESSARC &editor = m_host.editor();
    if (editor.curLine > std::max(1, editor.numberOfLines()))
        editor.ChangeLineCount(editor.numberOfLines());
    else
        editor.loadLine(editor.curLine);
    if (m_viewLocked)
        editor.lockup(false);
}
