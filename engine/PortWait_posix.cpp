#include <poll.h>

#include <cerrno>

#include "engine/SerialTimeoutPlan.h"
#include "engine/WaitablePort.h"

std::vector<PortInput> waitForInput(std::span<WaitablePort* const> ports,
                                    std::chrono::milliseconds timeout) {
    std::vector<PortInput> states(ports.size(), PortInput::None);
    if (ports.size() > 64) return std::vector<PortInput>(ports.size(), PortInput::Failed);

    std::vector<pollfd> watches(ports.size());
    bool known = false;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const WaitablePort::WaitStart start = ports[i]->startWait();
        states[i] = start.known;
        known = known || start.known != PortInput::None;
        watches[i] = {static_cast<int>(start.object), POLLIN, 0};
    }
    if (known) return states;

    // Signals cut poll short; the deadline keeps the whole wait as long as asked.
    const auto deadline = deadlineAfter(
        SerialClock::now(),
        timeout.count() < 0 ? std::nullopt : std::optional<std::uint64_t>(timeout.count()));
    for (;;) {
        int wait = pollTimeoutMs(SerialClock::now(), deadline, std::nullopt);
        int ready = ::poll(watches.data(), watches.size(), wait);
        if (ready > 0) break;
        if (ready == 0) return states;
        if (errno != EINTR) return std::vector<PortInput>(ports.size(), PortInput::Failed);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        states[i] = ports[i]->finishWait(static_cast<std::uint32_t>(watches[i].revents));
    }
    return states;
}
