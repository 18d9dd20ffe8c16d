#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "engine/SerialErrorCounts.h"

int readSerialErrorCounts(int fd, SerialErrorCounts* counts) {
    serial_icounter_struct driver{};
    if (ioctl(fd, TIOCGICOUNT, &driver) != 0) return errno;
    counts->breaks = static_cast<std::uint32_t>(driver.brk);
    counts->framing = static_cast<std::uint32_t>(driver.frame);
    counts->parity = static_cast<std::uint32_t>(driver.parity);
    return 0;
}
