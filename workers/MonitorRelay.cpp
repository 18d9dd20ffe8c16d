#include "workers/MonitorRelay.h"

#include <chrono>
#include <cstdint>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Short enough that a stop is seen and the idle call made well within 100 ms.
constexpr std::chrono::milliseconds kWaitStep{50};
constexpr std::uint32_t kLargestRead = 4096;

std::uint64_t microsOf(SteadyClock::duration span) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(span).count());
}

// The wall clock read once, then moved on by the steady clock: a clock set back during a run
// must not make the file's times go backwards.
class BurstClock {
public:
    BurstClock()
        : wallStart_(
              static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::system_clock::now().time_since_epoch())
                                             .count())),
          steadyStart_(SteadyClock::now()) {}
    std::uint64_t wallMicros(SteadyClock::time_point at) const {
        return wallStart_ + microsOf(at - steadyStart_);
    }

private:
    std::uint64_t wallStart_;
    SteadyClock::time_point steadyStart_;
};

struct Side {
    WaitablePort* port;
    const std::string* name;
    Direction direction;
};

Failure lost(const Side& side) {
    return portFailure(Failure::Kind::PortLost, *side.name, side.port->errorText());
}

// Takes what arrived on `from`, writes it to `to` and then gives it to the sink.
Failure pass(const MonitorJob& job, const Side& from, const Side& to, std::uint64_t timeMicros,
             MonitorCounts& counts) {
    std::uint8_t buffer[kLargestRead];
    std::uint32_t count = 0;
    if (!from.port->readAvailable(buffer, sizeof buffer, &count)) return lost(from);
    if (count == 0) return {};
    std::uint32_t written = 0;
    if (!to.port->write(buffer, count, &written) || written != count) return lost(to);
    const bool host = from.direction == Direction::Host;
    (host ? counts.hostBursts : counts.deviceBursts).fetch_add(1, std::memory_order_relaxed);
    (host ? counts.hostBytes : counts.deviceBytes).fetch_add(count, std::memory_order_relaxed);
    if (!job.sink) return {};
    ConversationBurst burst;
    burst.timeMicros = timeMicros;
    burst.direction = from.direction;
    burst.bytes = {buffer, count};
    return job.sink(burst);
}

}  // namespace

Failure runMonitor(const MonitorJob& job, MonitorCounts& counts) {
    const Side sides[2] = {{job.host, &job.hostName, Direction::Host},
                           {job.device, &job.deviceName, Direction::Device}};
    WaitablePort* ports[2] = {job.host, job.device};
    const BurstClock clock;
    const SteadyClock::time_point start = SteadyClock::now();
    while (!job.stop->load()) {
        const std::vector<PortInput> states = waitForInput(ports, kWaitStep);
        // Both bursts of one wait share its instant: that is as close as the wait can tell.
        const SteadyClock::time_point now = SteadyClock::now();
        for (int i = 0; i < 2; ++i) {
            if (states[i] == PortInput::Failed) return lost(sides[i]);
            if (states[i] != PortInput::Ready) continue;
            const Failure failure =
                pass(job, sides[i], sides[1 - i], clock.wallMicros(now), counts);
            if (failure.happened()) return failure;
        }
        if (job.idle) {
            const Failure failure = job.idle(microsOf(SteadyClock::now() - start));
            if (failure.happened()) return failure;
        }
    }
    return {};
}
