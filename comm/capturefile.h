#pragma once

#include "commerror.h"

#include <QString>

namespace comm {

// "tempdownload.txt" in the program folder: where a receive captures what arrives.
QString capturePath();

// Copies a capture to `target` whole and safely: into a temporary file beside the target, renamed
// over it only once complete, so a failure leaves any old target as it was. Throws ControlError.
void saveCaptureAs(const QString &capture, const QString &target);

} // namespace comm
