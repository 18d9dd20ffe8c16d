#include "workers/AnsweringEngine.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "workers/PerfCounter.h"
#include "workers/PreciseSleeper.h"
#include "workers/StoppableWrite.h"

namespace {

// Within this of a burst's instant the port is no longer watched: the sleeper waits for the
// instant itself, which a wait on the port could not hit within a millisecond. Bytes arriving
// then are seen after the burst, up to this much later than they came.
constexpr std::uint64_t kSleepAheadMicros = 2000;
// How long the run blocks after a write when the next burst is due within kSleepAheadMicros.
constexpr std::uint64_t kLetGoMicros = 100;
// Stop requests are looked at at least this often.
constexpr std::uint64_t kLongestWaitMicros = 100'000;
constexpr std::uint64_t kProgressEveryMicros = 250'000;
constexpr std::size_t kReadSize = 4096;

// The run's instants in microseconds since its start, and their performance counter values.
class RunClock {
public:
    RunClock() : frequency_(perfCounterFrequency()), start_(perfCounterNow()) {}
    std::uint64_t micros(std::int64_t counter) const {
        if (counter <= start_) return 0;
        return static_cast<std::uint64_t>(static_cast<__int128>(counter - start_) * 1'000'000 /
                                          frequency_);
    }
    std::uint64_t now() const { return micros(perfCounterNow()); }
    std::int64_t counterAt(std::uint64_t micros) const {
        return start_ +
               static_cast<std::int64_t>(static_cast<__int128>(micros) * frequency_ / 1'000'000);
    }
    std::uint64_t microsBetween(std::int64_t from, std::int64_t to) const {
        return to <= from ? 0
                          : static_cast<std::uint64_t>(static_cast<__int128>(to - from) *
                                                       1'000'000 / frequency_);
    }

private:
    std::int64_t frequency_;
    std::int64_t start_;
};

AnsweringResult portFailed(const AnsweringOptions& options, const char* reason) {
    AnsweringResult result;
    result.end = AnsweringResult::End::Failed;
    result.failure = portFailure(Failure::Kind::PortLost, options.portName, reason);
    return result;
}

AnsweringResult ended(AnsweringResult::End end) {
    AnsweringResult result;
    result.end = end;
    return result;
}

// How long the port may be watched from `now`: up to the first thing due, and never long.
std::chrono::milliseconds waitFrom(std::uint64_t now, const DeviceStandIn& standIn,
                                   const AnsweringOptions& options, std::uint64_t nextProgress) {
    std::uint64_t until = std::min(now + kLongestWaitMicros, nextProgress);
    // A burst's wait ends early (rounded down), the sleeper takes it from there; the others may
    // end a little late (rounded up), never spinning.
    std::uint64_t roundedDown = until;
    if (const StandInBurst* burst = standIn.nextBurst())
        roundedDown = std::min(roundedDown, burst->dueMicros > kSleepAheadMicros
                                                ? burst->dueMicros - kSleepAheadMicros
                                                : 0);
    if (const auto silence = standIn.silenceEndMicros()) until = std::min(until, *silence);
    if (options.durationMicros) until = std::min(until, *options.durationMicros);
    const std::uint64_t upMs = until > now ? (until - now + 999) / 1000 : 0;
    const std::uint64_t downMs = roundedDown > now ? (roundedDown - now) / 1000 : 0;
    return std::chrono::milliseconds(std::min(upMs, downMs));
}

// Bytes written to a pseudo-terminal reach the program only when a kernel worker passes them
// on, and a worker woken on this core waits while the sleeper spins towards a burst due soon
// after: the program would get both bursts together, the first up to a millisecond late. A
// short block first lets the worker run.
void letWrittenBytesGo(const DeviceStandIn& standIn, const RunClock& clock) {
    const StandInBurst* next = standIn.nextBurst();
    const std::uint64_t now = clock.now();
    if (next && next->dueMicros >= now + 2 * kLetGoMicros &&
        next->dueMicros <= now + kSleepAheadMicros)
        std::this_thread::sleep_for(std::chrono::microseconds(kLetGoMicros));
}

}  // namespace

AnsweringResult runAnswering(WaitablePort& port, DeviceStandIn& standIn,
                             const AnsweringOptions& options, AnsweringListener& listener,
                             DelayTally& lateness) {
    PreciseSleeper sleeper;
    const RunClock clock;
    std::array<WaitablePort*, 1> ports{&port};
    std::vector<std::uint8_t> buffer(kReadSize);
    std::uint64_t nextProgress = 0;
    AnsweringResult result;
    auto durationReached = [&options](std::uint64_t now) {
        return options.durationMicros && now >= *options.durationMicros;
    };
    for (;;) {
        if (listener.stopAsked()) return result;
        const std::uint64_t now = clock.now();
        if (durationReached(now)) return ended(AnsweringResult::End::DurationReached);
        standIn.advance(now);
        for (const StandInAnswerNote& note : standIn.takeAnswerNotes()) listener.answered(note);
        for (StandInMiss& miss : standIn.takeMisses()) {
            listener.missed(miss);
            if (options.endAtFirstMiss) {
                result.end = AnsweringResult::End::Missed;
                result.miss = std::move(miss);
                return result;
            }
        }
        if (standIn.failure().happened()) {
            result.end = AnsweringResult::End::Failed;
            result.failure = standIn.failure();
            return result;
        }
        if (now >= nextProgress) {
            listener.progress(standIn.counts());
            nextProgress = now + kProgressEveryMicros;
        }

        if (const StandInBurst* burst = standIn.nextBurst();
            burst && burst->dueMicros <= now + kSleepAheadMicros) {
            const std::int64_t due = clock.counterAt(burst->dueMicros);
            sleeper.sleepUntil(due);
            if (burst->lineEvent) {  // shown where the port can: no write, no lateness
                port.tellLineEvent(*burst->lineEvent);
                standIn.burstSent();
                continue;
            }
            const std::int64_t began = perfCounterNow();
            // A host that reads nothing must not keep a stop or the duration waiting.
            bool durationEnded = false;
            const WriteEnd write = writeUnlessStopped(port, burst->bytes, [&] {
                durationEnded = durationReached(clock.now());
                return durationEnded || listener.stopAsked();
            });
            if (write == WriteEnd::Failed) return portFailed(options, port.writeErrorText());
            if (write == WriteEnd::Stopped)
                return ended(durationEnded ? AnsweringResult::End::DurationReached
                                           : AnsweringResult::End::Stopped);
            if (burst->answer) lateness.add(clock.microsBetween(due, began));
            standIn.burstSent();
            letWrittenBytesGo(standIn, clock);
            continue;
        }

        const auto states = waitForInput(ports, waitFrom(now, standIn, options, nextProgress));
        for (const std::string& remark : port.takeRemarks()) listener.remark(remark);
        if (states.empty() || states[0] == PortInput::Failed)
            return portFailed(options, port.errorText());
        if (states[0] != PortInput::Ready) continue;
        for (;;) {
            std::uint32_t got = 0;
            const bool read = port.readAvailable(buffer.data(), kReadSize, &got);
            for (const std::string& remark : port.takeRemarks()) listener.remark(remark);
            for (const LineEvent& event : port.takeLineEvents()) listener.lineChanged(event);
            if (!read) return portFailed(options, port.errorText());
            if (got == 0) break;
            standIn.received({buffer.data(), got}, clock.now());
            if (got < kReadSize) break;
        }
    }
}
