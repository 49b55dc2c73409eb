#pragma once

#include "controlerror.h"

#include <QString>

// Failures of the serial line and of machine files are tessarc::ControlError values: a number and a
// description, shown by the communication windows and the command line as "ERROR n: description".
// The numbers follow the classic communications control where one fits, so the reports read as
// machinists know them.
namespace comm {

using tessarc::ControlError;

enum CommErrorNumber : int {
    InvalidPropertyValue = 380, // a line setting or handshake this port cannot take
    InputPastEndOfFile = 62,    // a damaged machine file
    BadFileName = 52,           // a machine name that cannot be a file name
    FileAlreadyExists = 58,     // a machine name already taken
    PortInvalid = 8002,         // no device for the port number, or the number is out of range
    PortAlreadyOpen = 8005,
    PortNotAvailable = 8010,    // the device is busy or access to it is denied
    SetCommStateFailed = 8015,  // the device refused the line settings
    PortNotOpen = 8018,         // output or input asked of a closed port
};
// A port that fails while open (the device went away, reading or writing failed) is reported as
// ControlError::DeviceIoError (57), the description naming the port and the system's reason.

// "ERROR " + number + ": " + description, as the communication windows show a failure.
QString errorText(const ControlError &error);

} // namespace comm
