#include "eventpump.h"

#include <QCoreApplication>

namespace tessarc {

EventPump::EventPump(int intervalMs) : m_interval(intervalMs)
{
    m_clock.start();
}

void EventPump::maybe()
{
    if (m_clock.elapsed() >= m_interval)
        now();
}

void EventPump::now()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}

} // namespace tessarc
