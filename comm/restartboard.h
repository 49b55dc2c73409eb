#pragma once

#include "restart.h"

#include <QList>
#include <QObject>

// The restart shown to the machinist before it is sent or written, where the toolpath view finds
// it to draw its approach: one board for each main window, told by the window that shows the
// restart and cleared when that restart is no longer shown.
namespace comm {

class RestartBoard : public QObject
{
    Q_OBJECT

public:
    // The board of `window`, made the first time it is asked for.
    static RestartBoard &of(QObject *window);

    // The retract's moves, then the approach's.
    void show(const interp::RestartPlan &plan);
    void clear();
    const QList<interp::Move> &moves() const { return m_moves; }

signals:
    void changed();

private:
    using QObject::QObject;
    QList<interp::Move> m_moves;
};

} // namespace comm
