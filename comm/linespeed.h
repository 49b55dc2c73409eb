#pragma once

// The line speed of a terminal device through the Linux termios2 interface, which takes any rate
// (BOTHER) where the classic termios has constants for a fixed list only. Kept apart from
// <termios.h>, whose definitions clash with the kernel's.
namespace comm {

// Sets output and input speed of `fd` to `rate` bits a second. Returns 0, or the errno of the failure.
int setLineSpeed(int fd, int rate);
// The output speed `fd` runs at now; -1 when it cannot be read.
int lineSpeed(int fd);
// Whether the classic termios has a constant for `rate`.
bool classicSpeed(int rate);

} // namespace comm
