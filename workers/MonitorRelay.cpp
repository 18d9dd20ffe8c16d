#include "workers/MonitorRelay.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "workers/BurstClock.h"
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

// One port of the monitor: index 2p is pair p's host side, 2p + 1 its device side.
struct Side {
    WaitablePort* port;
    const std::string* name;
    Direction direction;
    std::uint32_t pair;
};

Failure lost(const Side& side) {
    return portFailure(Failure::Kind::PortLost, *side.name, side.port->errorText());
}

// Each pair's two ways out: what its host sent goes to its device, and back.
struct PairWriters {
    PairWriters(const MonitorPair& pair)
        : toDevice(*pair.device, pair.deviceName), toHost(*pair.host, pair.hostName) {}
    QueuedPortWriter toDevice;
    QueuedPortWriter toHost;
};

class Relay {
public:
    Relay(const MonitorJob& job, MonitorCounts& counts)
        : job_(job), counts_(counts), start_(SteadyClock::now()), lines_(job.pairs.size(), 0) {
        for (std::uint32_t p = 0; p < job.pairs.size(); ++p) {
            const MonitorPair& pair = job.pairs[p];
            sides_.push_back({pair.host, &pair.hostName, Direction::Host, p});
            sides_.push_back({pair.device, &pair.deviceName, Direction::Device, p});
            ports_.push_back(pair.host);
            ports_.push_back(pair.device);
            writers_.push_back(std::make_unique<PairWriters>(pair));
        }
    }
    // Every writer drains at once before they are joined.
    ~Relay() {
        for (const auto& writers : writers_) {
            writers->toDevice.finish();
            writers->toHost.finish();
        }
    }

    Failure run() {
        while (!job_.stop->load()) {
            const std::vector<PortInput> states = waitForInput(ports_, kWaitStep);
            // The bursts of one wait share its instant: that is as close as the wait can tell.
            const SteadyClock::time_point now = SteadyClock::now();
            for (std::size_t i = 0; i < sides_.size(); ++i) {
                if (states[i] == PortInput::Failed) return keepWhatArrived(lost(sides_[i]), i);
                if (states[i] != PortInput::Ready) continue;
                const Failure failure = take(i, clock_.wallMicros(now));
                if (failure.happened()) return keepWhatArrived(failure, i);
            }
            for (const auto& writers : writers_) {
                for (const QueuedPortWriter* writer : {&writers->toDevice, &writers->toHost}) {
                    if (writer->failed()) return keepWhatArrived(writer->failure(), sides_.size());
                }
            }
            const Failure failure = idle();
            if (failure.happened()) return failure;
        }
        return {};
    }

private:
    // What arrived on side i, its remarks and what its line did, passed to the other side of its
    // pair and recorded.
    Failure take(std::size_t i, std::uint64_t timeMicros) {
        const Side& from = sides_[i];
        PairWriters& writers = *writers_[from.pair];
        const bool host = from.direction == Direction::Host;
        Failure failure = pass(from, host ? writers.toDevice : writers.toHost, timeMicros);
        tellRemarks(*from.port);
        if (!failure.happened()) failure = passLineEvents(from, *ports_[i ^ 1], timeMicros);
        return failure;
    }

    void tellRemarks(WaitablePort& port) {
        for (const std::string& remark : port.takeRemarks()) {
            if (job_.remark) job_.remark(remark);
        }
    }

    // What the line did on one side (a control line, a break, a setting the program asked for)
    // is passed to the other where that port can carry it, and recorded with who did it. The
    // host's lines and the device's are kept apart, so each burst carries the whole line state.
    Failure passLineEvents(const Side& from, WaitablePort& to, std::uint64_t timeMicros) {
        std::uint8_t& lines = lines_[from.pair];
        for (LineEvent event : from.port->takeLineEvents()) {
            to.tellLineEvent(event);
            if (event.kind == LineEventKind::ControlLines) {
                const std::uint8_t own = from.direction == Direction::Host
                                             ? control_line::kHostLines
                                             : control_line::kDeviceLines;
                lines = static_cast<std::uint8_t>((lines & ~own) | (event.controlLines & own));
                event.controlLines = lines;
            }
            if (!job_.sink) continue;
            ConversationBurst burst;
            burst.timeMicros = timeMicros;
            burst.direction = from.direction;
            burst.controlLines = lines;
            burst.lineEvent = event;
            burst.interfaceIndex = from.pair;
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
        const Failure recording = record(from, bytes, timeMicros);
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

    Failure record(const Side& from, std::span<const std::uint8_t> bytes,
                   std::uint64_t timeMicros) {
        const bool host = from.direction == Direction::Host;
        (host ? counts_.hostBursts : counts_.deviceBursts).fetch_add(1, std::memory_order_relaxed);
        (host ? counts_.hostBytes : counts_.deviceBytes)
            .fetch_add(bytes.size(), std::memory_order_relaxed);
        if (!job_.sink) return {};
        ConversationBurst burst;
        burst.timeMicros = timeMicros;
        burst.direction = from.direction;
        burst.controlLines = lines_[from.pair];
        burst.bytes = bytes;
        burst.interfaceIndex = from.pair;
        return job_.sink(burst);
    }

    // A port that failed ends the run, but what the others had already received goes into the
    // file first; it can no longer be passed on. A failure of the file or of the idle call ends
    // the run at once. The failed port (side `failed`; none past the last) handed over its own
    // bytes before it failed; a failed write names its port, which is then left out too.
    Failure keepWhatArrived(const Failure& failure, std::size_t failed) {
        if (failure.kind != Failure::Kind::PortLost) return failure;
        std::vector<WaitablePort*> survivors;
        std::vector<const Side*> survivorSides;
        for (std::size_t i = 0; i < sides_.size(); ++i) {
            if (i == failed || *sides_[i].name == failure.subject) continue;
            survivors.push_back(sides_[i].port);
            survivorSides.push_back(&sides_[i]);
        }
        const SteadyClock::time_point end = SteadyClock::now() + kKeepingTime;
        std::uint8_t buffer[kLargestRead];
        while (!survivors.empty() && SteadyClock::now() < end) {
            const std::vector<PortInput> states = waitForInput(survivors, kKeepingWait);
            bool any = false;
            for (std::size_t i = 0; i < survivors.size(); ++i) {
                if (states[i] != PortInput::Ready) continue;
                std::uint32_t count = 0;
                if (!survivors[i]->readAvailable(buffer, sizeof buffer, &count) || count == 0)
                    continue;
                any = true;
                const Failure recording = record(*survivorSides[i], {buffer, count},
                                                 clock_.wallMicros(SteadyClock::now()));
                if (recording.happened()) return failure;
            }
            if (!any) break;
        }
        return failure;
    }

    const MonitorJob& job_;
    MonitorCounts& counts_;
    const BurstClock clock_;
    const SteadyClock::time_point start_;
    std::vector<Side> sides_;
    std::vector<WaitablePort*> ports_;  // in the order of sides_
    std::vector<std::unique_ptr<PairWriters>> writers_;
    // Each pair's control_line bits as last seen from each side; 0 when unseen.
    std::vector<std::uint8_t> lines_;
};

}  // namespace

Failure runMonitor(const MonitorJob& job, MonitorCounts& counts) {
    return Relay(job, counts).run();
}
