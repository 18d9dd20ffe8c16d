// termios2 lives in the kernel's headers, whose struct termios clashes with the C library's:
// this file must not include <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "engine/SerialPortSpeed.h"

int setLineSpeedNumber(int fd, std::uint32_t bitsPerSecond) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
    // Input speed follows the output speed, as with the Win32 DCB's single BaudRate.
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = bitsPerSecond;
    settings.c_ospeed = bitsPerSecond;
    if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
    return 0;
}

int readLineSpeed(int fd, std::uint32_t* bitsPerSecond) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
    *bitsPerSecond = settings.c_ospeed;
    return 0;
}
