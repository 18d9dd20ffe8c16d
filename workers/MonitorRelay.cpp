#include "workers/MonitorRelay.h"

#include <chrono>
#include <cstdint>
#include <span>

#include "workers/QueuedPortWriter.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// Short enough that a stop is seen and the idle call made well within 100 ms.
constexpr std::chrono::milliseconds kWaitStep{50};
// Once a port has failed, what the other one holds is still read and recorded for at most this
// long (a device may never fall silent), each wait for more this short.
constexpr std::chrono::milliseconds kKeepingTime{250};
constexpr std::chrono::milliseconds kKeepingWait{10};
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

class Relay {
public:
    Relay(const MonitorJob& job, MonitorCounts& counts)
        : job_(job),
          counts_(counts),
          start_(SteadyClock::now()),
          toDevice_(*job.device, job.deviceName),
          toHost_(*job.host, job.hostName) {}
    // Both writers drain at once before they are joined.
    ~Relay() {
        toDevice_.finish();
        toHost_.finish();
    }

    Failure run() {
        const Side sides[2] = {{job_.host, &job_.hostName, Direction::Host},
                               {job_.device, &job_.deviceName, Direction::Device}};
        QueuedPortWriter* const writers[2] = {&toDevice_, &toHost_};
        WaitablePort* ports[2] = {job_.host, job_.device};
        while (!job_.stop->load()) {
            const std::vector<PortInput> states = waitForInput(ports, kWaitStep);
            // Both bursts of one wait share its instant: that is as close as the wait can tell.
            const SteadyClock::time_point now = SteadyClock::now();
            for (int i = 0; i < 2; ++i) {
                if (states[i] == PortInput::Failed) return keepWhatArrived(lost(sides[i]));
                if (states[i] != PortInput::Ready) continue;
                Failure failure = pass(sides[i], *writers[i], clock_.wallMicros(now));
                tellRemarks(*ports[i]);
                if (!failure.happened())
                    failure = passLineEvents(sides[i], *ports[1 - i], clock_.wallMicros(now));
                if (failure.happened()) return keepWhatArrived(failure);
            }
            for (QueuedPortWriter* writer : writers) {
                if (writer->failed()) return keepWhatArrived(writer->failure());
            }
            const Failure failure = idle();
            if (failure.happened()) return failure;
        }
        return {};
    }

private:
    void tellRemarks(WaitablePort& port) {
        for (const std::string& remark : port.takeRemarks()) {
            if (job_.remark) job_.remark(remark);
        }
    }

    // What the line did on one side (a control line, a break, a setting the program asked for)
    // is passed to the other where that port can carry it, and recorded with who did it. The
    // host's lines and the device's are kept apart, so each burst carries the whole line state.
    Failure passLineEvents(const Side& from, WaitablePort& to, std::uint64_t timeMicros) {
        for (LineEvent event : from.port->takeLineEvents()) {
            to.tellLineEvent(event);
            if (event.kind == LineEventKind::ControlLines) {
                const std::uint8_t own = from.direction == Direction::Host
                                             ? control_line::kHostLines
                                             : control_line::kDeviceLines;
                lines_ = static_cast<std::uint8_t>((lines_ & ~own) | (event.controlLines & own));
                event.controlLines = lines_;
            }
            if (!job_.sink) continue;
            ConversationBurst burst;
            burst.timeMicros = timeMicros;
            burst.direction = from.direction;
            burst.controlLines = lines_;
            burst.lineEvent = event;
            if (const Failure failure = job_.sink(burst); failure.happened()) return failure;
        }
        return {};
    }

    Failure idle() {
        if (!job_.idle) return {};
        return job_.idle(microsOf(SteadyClock::now() - start_));
    }

    // Takes what arrived on `from`, queues it for the other port and then gives it to the sink.
    // Bytes once read are recorded whatever becomes of their passing on: a stop while the queue
    // is full, or the other port failing.
    Failure pass(const Side& from, QueuedPortWriter& to, std::uint64_t timeMicros) {
        std::uint8_t buffer[kLargestRead];
        std::uint32_t count = 0;
        if (!from.port->readAvailable(buffer, sizeof buffer, &count)) return lost(from);
        if (count == 0) return {};
        const std::span<const std::uint8_t> bytes{buffer, count};
        const Failure passing = passOn(to, bytes);
        const Failure recording = record(from.direction, bytes, timeMicros);
        return passing.happened() ? passing : recording;
    }

    // A full queue holds the reading back until the far side takes some.
    Failure passOn(QueuedPortWriter& to, std::span<const std::uint8_t> bytes) {
        while (!to.queue(bytes, kWaitStep)) {
            if (to.failed()) return to.failure();
            if (job_.stop->load()) return {};
            const Failure failure = idle();
            if (failure.happened()) return failure;
        }
        return {};
    }

    Failure record(Direction direction, std::span<const std::uint8_t> bytes,
                   std::uint64_t timeMicros) {
        const bool host = direction == Direction::Host;
        (host ? counts_.hostBursts : counts_.deviceBursts).fetch_add(1, std::memory_order_relaxed);
        (host ? counts_.hostBytes : counts_.deviceBytes)
            .fetch_add(bytes.size(), std::memory_order_relaxed);
        if (!job_.sink) return {};
        ConversationBurst burst;
        burst.timeMicros = timeMicros;
        burst.direction = direction;
        burst.controlLines = lines_;
        burst.bytes = bytes;
        return job_.sink(burst);
    }

    // A port that failed ends the run, but what the other one had already received goes into
    // the file first; it can no longer be passed on. A failure of the file or of the idle call
    // ends the run at once. The failed port handed over its own bytes before it failed.
    Failure keepWhatArrived(const Failure& failure) {
        if (failure.kind != Failure::Kind::PortLost) return failure;
        const bool hostFailed = failure.subject == job_.hostName;
        WaitablePort* const survivor[1] = {hostFailed ? job_.device : job_.host};
        const Direction direction = hostFailed ? Direction::Device : Direction::Host;
        const SteadyClock::time_point end = SteadyClock::now() + kKeepingTime;
        std::uint8_t buffer[kLargestRead];
        while (SteadyClock::now() < end) {
            if (waitForInput(survivor, kKeepingWait)[0] != PortInput::Ready) break;
            std::uint32_t count = 0;
            if (!survivor[0]->readAvailable(buffer, sizeof buffer, &count) || count == 0) break;
            const Failure recording =
                record(direction, {buffer, count}, clock_.wallMicros(SteadyClock::now()));
            if (recording.happened()) break;
        }
        return failure;
    }

    const MonitorJob& job_;
    MonitorCounts& counts_;
    const BurstClock clock_;
    const SteadyClock::time_point start_;
    QueuedPortWriter toDevice_;
    QueuedPortWriter toHost_;
    std::uint8_t lines_ = 0;  // control_line bits as last seen from each side; 0 when unseen
};

}  // namespace

Failure runMonitor(const MonitorJob& job, MonitorCounts& counts) {
    return Relay(job, counts).run();
}
