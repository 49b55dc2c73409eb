#include "restartboard.h"

namespace comm {

RestartBoard &RestartBoard::of(QObject *window)
{
    if (auto *board = window->findChild<RestartBoard *>(QString(), Qt::FindDirectChildrenOnly))
        return *board;
    return *new RestartBoard(window);
}

void RestartBoard::show(const interp::RestartPlan &plan)
{
    m_moves = plan.retract + plan.approach;
    emit changed();
}

void RestartBoard::clear()
{
    if (m_moves.isEmpty())
        return;
    m_moves.clear();
    emit changed();
}

} // namespace comm
