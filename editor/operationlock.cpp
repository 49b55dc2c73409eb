#include "operationlock.h"

namespace tessarc {

bool OperationLock::take()
{
    if (held)
        return false;
    held = true;
    emit busyChanged(true);
    return true;
}

void OperationLock::release()
{
    const bool was = held;
    held = false;
    if (was)
        emit busyChanged(false);
}

} // namespace tessarc
