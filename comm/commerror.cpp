#include "commerror.h"

namespace comm {

QString errorText(const ControlError &error)
{
    return QStringLiteral("ERROR %1: %2").arg(error.number()).arg(error.description());
}

} // namespace comm
