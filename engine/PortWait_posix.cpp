#include <poll.h>

#include <cerrno>

#include "engine/SerialTimeoutPlan.h"
#include "engine/WaitablePort.h"

std::vector<PortInput> waitForInput(std::span<WaitablePort* const> ports,
                                    std::chrono::milliseconds timeout) {
    std::vector<PortInput> states(ports.size(), PortInput::None);
    if (ports.size() > 64) return std::vector<PortInput>(ports.size(), PortInput::Failed);

    // A port whose state is known without waiting ends the wait at once; the others are still
    // looked at, so that one answer tells every port that is ready. poll skips descriptor -1.
    // A port with nothing to watch for now shortens the wait to when it wants another look.
    std::vector<pollfd> watches(ports.size());
    bool known = false;
    std::chrono::milliseconds limit = timeout;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const WaitablePort::WaitStart start = ports[i]->startWait();
        states[i] = start.known;
        const bool waiting = start.known == PortInput::None;
        const bool nothingToWatch = waiting && start.lookAgainWithin.count() >= 0;
        if (nothingToWatch && (limit.count() < 0 || start.lookAgainWithin < limit))
            limit = start.lookAgainWithin;
        known = known || !waiting;
        watches[i] = {waiting && !nothingToWatch ? static_cast<int>(start.object) : -1, POLLIN, 0};
    }

    // Signals cut poll short; the deadline keeps the whole wait as long as asked.
    std::optional<std::uint64_t> limitMs;
    if (known) {
        limitMs = 0;
    } else if (limit.count() >= 0) {
        limitMs = static_cast<std::uint64_t>(limit.count());
    }
    const auto deadline = deadlineAfter(SerialClock::now(), limitMs);
    for (;;) {
        int wait = pollTimeoutMs(SerialClock::now(), deadline, std::nullopt);
        int ready = ::poll(watches.data(), watches.size(), wait);
        if (ready > 0) break;
        if (ready == 0) return states;
        if (errno != EINTR) return std::vector<PortInput>(ports.size(), PortInput::Failed);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (watches[i].fd < 0) continue;
        states[i] = ports[i]->finishWait(static_cast<std::uint32_t>(watches[i].revents));
    }
    return states;
}
