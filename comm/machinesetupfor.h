#pragma once

#include "machinesetup.h"

#include <QString>

class SettingsStore;

namespace comm {

// What the interpreter is to assume of the machine a program is for, the same for the windows and
// the command line. With a machine's name, that machine's setup (a missing machine, or one whose setup
// file is damaged, gives the defaults and a warning that says so). With "", the setup of no machine in
// particular: the dialect, rapid rate and acceleration of Options (settings section MOTION), and no
// travel, feed or spindle limit. `warning` is empty when there is nothing to tell.
interp::MachineSetup machineSetupFor(const QString &machine, const SettingsStore &settings, QString &warning);

} // namespace comm
