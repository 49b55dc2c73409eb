#pragma once

#include "commerror.h"

#include <QString>

namespace comm {

// "tempdownload.txt" in the program folder: where a receive captures what arrives.
QString capturePath();

// A capture file claimed by this process: "tempdownload.txt" when no other capture holds it, else
// "tempdownload-2.txt", "-3" and so on, each held with an exclusive lock for as long as this
// lives, so two receives at once never share one. The file is opened without following a link
// (a link planted in its place is refused) and emptied once claimed.
class CaptureClaim
{
public:
    CaptureClaim() = default;
    ~CaptureClaim();
    CaptureClaim(const CaptureClaim &) = delete;
    CaptureClaim &operator=(const CaptureClaim &) = delete;

    // Claims the first free capture named after `base`; throws ControlError when none can be made.
    void claim(const QString &base);
    // Gives the claim up (the file stays, holding what was captured).
    void release();
    const QString &path() const { return m_path; }
    // The open, emptied file, for writing; -1 before a claim.
    int handle() const { return m_fd; }

private:
    QString m_path;
    int m_fd = -1;
};

// Copies a capture to `target` whole and safely: into a temporary file beside the target, renamed
// over it only once complete, so a failure leaves any old target as it was. Throws ControlError.
void saveCaptureAs(const QString &capture, const QString &target);

} // namespace comm
