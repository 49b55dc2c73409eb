#include "machinesetupfor.h"

#include "globalvar.h"
#include "machinefolder.h"

namespace comm {

namespace {

interp::MachineSetup optionsSetup(const SettingsStore &settings, QString &warning)
{
    MotionSettings motion;
    motion.read(settings);
    interp::MachineSetup setup;
    // The settings hold only the dialects the interpreter knows; read() saw to that.
    setup.dialect = interp::dialectNamed(motion.dialect).value_or(interp::Dialect::LinuxCnc);
    setup.defaultRapid = motion.rapid;
    setup.defaultAccel = motion.accel;
    warning = motion.problem;
    return setup;
}

} // namespace

interp::MachineSetup machineSetupFor(const QString &machine, const SettingsStore &settings, QString &warning)
{
    warning.clear();
    if (machine.isEmpty())
        return optionsSetup(settings, warning);
    const MachineFolder folder = MachineFolder::standard();
    if (!folder.contains(machine)) {
        QString motionWarning;
        interp::MachineSetup setup = optionsSetup(settings, motionWarning);
        warning = QStringLiteral("There is no machine %1.").arg(machine);
        if (!motionWarning.isEmpty())
            warning += QLatin1Char(' ') + motionWarning;
        return setup;
    }
    return folder.readSetup(machine, warning);
}

} // namespace comm
