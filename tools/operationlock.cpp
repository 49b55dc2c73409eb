#include "operationlock.h"

#include "mainform.h"
#include "prompts.h"
#include "tessarc.h"

#include <QAbstractButton>
#include <QTimer>

namespace functions {

bool beginOperation(mainform &main)
{
    if (main.TESSARC1->Run) {
        main.prompts().message(&main, main.globalVar.alreadyRunning, main.globalVar.programTitle);
        return true;
    }
    main.TESSARC1->Run = true;
    main.row->start();
    return false;
}

void endOperation(mainform &main)
{
    main.TESSARC1->Run = false;
    main.row->stop();
}

} // namespace functions

namespace tools {

OperationGuard::OperationGuard(mainform &main, QAbstractButton *go) : m_main(main), m_go(go)
{
    m_held = !functions::beginOperation(main);
}

OperationGuard::~OperationGuard()
{
    release();
}

void OperationGuard::lockView()
{
    if (!m_held)
        return;
    m_main.TESSARC1->lockup(true);
    m_viewLocked = true;
}

void OperationGuard::release()
{
    if (!m_held)
        return;
    m_held = false;
    if (m_go)
        m_go->setText(QStringLiteral("Go"));
    functions::endOperation(m_main);
    // The page is shown again from the store once the lock is free, since the control leaves its
    // page alone while an operation runs.
    m_main.TESSARC1->loadLine(m_main.TESSARC1->curLine);
    if (m_viewLocked)
        m_main.TESSARC1->lockup(false);
}

} // namespace tools
