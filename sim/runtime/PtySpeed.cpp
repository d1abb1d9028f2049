// The exact line speed of a terminal, including speeds outside the
// standard list (2401, 12345), which <termios.h> can only report as
// "other". Kept apart from Pty.cpp: the kernel's termios2 header clashes
// with the C library's <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kestrune::sim {

int terminalOutputSpeed(int fd) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return 0;
    return static_cast<int>(tio.c_ospeed);
}

} // namespace kestrune::sim
