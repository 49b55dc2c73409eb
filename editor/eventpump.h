#pragma once

#include "tessarc_export.h"

#include <QElapsedTimer>

namespace tessarc {

// Lets the user interface process pending events from inside a long loop, but at most once every
// few tens of milliseconds, so a loop over millions of lines is not dominated by event handling
// while progress, Cancel and Stop still work.
class TESSARC_EXPORT EventPump
{
public:
    explicit EventPump(int intervalMs = 30);
    // Processes pending events when the interval has passed since the last time.
    void maybe();
    // Processes pending events now.
    void now();

private:
    QElapsedTimer m_clock;
    int m_interval;
};

} // namespace tessarc
