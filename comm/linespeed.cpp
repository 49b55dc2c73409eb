#include "linespeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace comm {

int setLineSpeed(int fd, int rate)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) < 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(rate);
    t.c_ospeed = static_cast<speed_t>(rate);
    if (ioctl(fd, TCSETS2, &t) < 0)
        return errno;
    return 0;
}

int lineSpeed(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) < 0)
        return -1;
    return static_cast<int>(t.c_ospeed);
}

bool classicSpeed(int rate)
{
    static constexpr int kRates[] = {50,     75,     110,    134,     150,     200,     300,     600,
                                     1200,   1800,   2400,   4800,    9600,    19200,   38400,   57600,
                                     115200, 230400, 460800, 500000,  576000,  921600,  1000000, 1152000,
                                     1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    for (int r : kRates) {
        if (r == rate)
            return true;
    }
    return false;
}

} // namespace comm
