#include "machinesetup.h"

namespace interp {

char axisLetter(int i)
{
    return "XYZABCUVW"[i];
}

double MachineSetup::rapidOf(int axis) const
{
    const double own = axes[static_cast<std::size_t>(axis)].rapid;
    return own > 0.0 ? own : defaultRapid;
}

double MachineSetup::accelOf(int axis) const
{
    const double own = axes[static_cast<std::size_t>(axis)].accel;
    return own > 0.0 ? own : defaultAccel;
}

} // namespace interp
