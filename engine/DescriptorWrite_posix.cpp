#include "engine/DescriptorWrite_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "engine/SerialTimeoutPlan.h"

int writeDescriptorWithin(int fd, const void* data, std::uint32_t count, std::uint32_t* done,
                          std::chrono::milliseconds limit) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::optional<std::uint64_t> limitMs;
    if (limit.count() >= 0) limitMs = static_cast<std::uint64_t>(limit.count());
    const auto deadline = deadlineAfter(SerialClock::now(), limitMs);
    *done = 0;
    while (*done < count) {
        const ssize_t n = ::write(fd, bytes + *done, count - *done);
        if (n > 0) {
            *done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        // Full until the far side reads: wait for room, losing nothing.
        const int wait = pollTimeoutMs(SerialClock::now(), deadline, std::nullopt);
        if (wait == 0) return 0;
        pollfd watch{fd, POLLOUT, 0};
        if (::poll(&watch, 1, wait) < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
    }
    return 0;
}
