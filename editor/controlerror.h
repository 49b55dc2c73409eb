#pragma once

#include "tessarc_export.h"

#include <QString>
#include <exception>
#include <functional>
#include <optional>

namespace tessarc {

// A failure of a store or file operation, carrying the classic error number and its description
// so that the reports read as machinists know them (53 file not found, 59 bad record length ...).
class TESSARC_EXPORT ControlError : public std::exception
{
public:
    ControlError(int number, QString description);

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    // Where it happened, when the routine that raised it said so: the routine's name and the step
    // it had reached, as the control's reports name them. Empty and 0 otherwise.
    const QString &routine() const noexcept { return m_routine; }
    int step() const noexcept { return m_step; }
    ControlError &at(const QString &routine, int step);
    const char *what() const noexcept override { return m_what.constData(); }

    // The error numbers the control raises.
    enum : int {
        SubscriptOutOfRange = 9,
        Overflow = 6,
        FileNotFound = 53,
        DeviceIoError = 57,
        BadRecordLength = 59,
        DiskFull = 61,
        PathFileAccessError = 75,
    };

    // The error for a failed system call, from errno.
    static ControlError fromErrno(int err, const QString &path);

private:
    int m_number;
    QString m_description;
    QString m_routine;
    int m_step = 0;
    QByteArray m_what;
};

// Runs `work`, an operation of the program's routines: nothing when it ran to its end, else why it
// failed, in its error's words ("Out of memory" when memory ran out), without a full stop. The one
// place where such a failure becomes a message: windows and forms show the text, never catch.
TESSARC_EXPORT std::optional<QString> failureOf(const std::function<void()> &work);

} // namespace tessarc
