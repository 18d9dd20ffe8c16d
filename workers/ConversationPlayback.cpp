#include "workers/ConversationPlayback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "conversation/LineEventText.h"
#include "log/LogWriter.h"
#include "workers/ChunkTiming.h"
#include "workers/PerfCounter.h"
#include "workers/PlayThreadPriority.h"
#include "workers/PreciseSleeper.h"
#include "workers/StoppableWrite.h"

namespace {

constexpr std::uint32_t kLongestWaitMs = 100;  // carryOn is asked this often

// The counter instant a burst recorded `micros` after the play's start is due at.
std::int64_t dueAt(std::int64_t start, std::uint64_t micros, double speed, std::int64_t frequency) {
    // A hostile file's far-off time is cut to about a century, within the counter's range.
    const double seconds = std::min(static_cast<double>(micros) / 1e6 / speed, 3e9);
    return start +
           static_cast<std::int64_t>(std::llround(seconds * static_cast<double>(frequency)));
}

}  // namespace

Failure playConversation(ConversationReader& reader, WaitablePort& port,
                         const ConversationPlay& play, ConversationPlayCounts& counts,
                         const std::function<bool(const ConversationPlayCounts&)>& carryOn) {
    std::vector<PlayedPort> ports(play.interfaceIndex + std::size_t{1});
    ports.back() = {&port, play.portName};
    return playConversation(reader, ports, play, counts, carryOn);
}

Failure playConversation(ConversationReader& reader, std::span<const PlayedPort> ports,
                         const ConversationPlay& play, ConversationPlayCounts& counts,
                         const std::function<bool(const ConversationPlayCounts&)>& carryOn) {
    LogWriter log(play.log);
    log.writeLine("Starting playing of file " + play.filePath);
    const std::int64_t frequency = perfCounterFrequency();
    const std::int64_t step = kLongestWaitMs * frequency / 1000;
    PreciseSleeper sleeper;
    const PlayThreadPriority priority;
    std::int64_t lastAsked = perfCounterNow();
    std::int64_t start = 0;
    bool started = false;
    std::uint64_t firstMicros = 0;
    ConversationBurst burst;
    // The device's line changes and breaks are played too, where the port can carry them.
    reader.keepLineEvents(true);
    while (reader.next(burst)) {
        if (!started) {
            firstMicros = burst.timeMicros;
            start = perfCounterNow();
            started = true;
        }
        const std::uint64_t since = burst.timeMicros - std::min(burst.timeMicros, firstMicros);
        if (burst.direction != Direction::Device || since < play.fromMicros) continue;
        if (burst.interfaceIndex >= ports.size() || !ports[burst.interfaceIndex].port) continue;
        const PlayedPort& played = ports[burst.interfaceIndex];
        WaitablePort& port = *played.port;
        const std::int64_t due = dueAt(start, since - play.fromMicros, play.speed, frequency);
        // Asked before every wait, and between bursts that come back to back at least as often.
        for (std::int64_t now = perfCounterNow(); now < due || now - lastAsked >= step;
             now = perfCounterNow()) {
            lastAsked = now;
            if (!carryOn(counts)) {
                log.writeLine("Playing was stopped");
                return {};
            }
            if (now < due) sleeper.sleepUntil(std::min(due, now + step));
        }
        if (burst.lineEvent) {
            const bool told = port.tellLineEvent(*burst.lineEvent);
            if (log.isOpen()) {
                log.writeLine((told ? "Told " : "Could not tell ") +
                              lineEventText(*burst.lineEvent) + " for time " +
                              std::to_string(since) + " us");
            }
            continue;
        }
        // The write comes first; the log's line for it a moment later.
        const std::int64_t writeStarted = perfCounterNow();
        const auto length = static_cast<std::uint32_t>(burst.bytes.size());
        // A far side that reads nothing must not keep a stop waiting: carryOn is asked between
        // the write's slices, and a stop cuts the burst.
        const WriteEnd write = writeUnlessStopped(port, burst.bytes, [&] {
            lastAsked = perfCounterNow();
            return !carryOn(counts);
        });
        const bool stopped = write == WriteEnd::Stopped;
        const bool whole = write == WriteEnd::Whole;
        if (log.isOpen()) {
            char line[96];
            std::snprintf(line, sizeof line, "Sending %zu bytes for time %llu us\r\n",
                          burst.bytes.size(), static_cast<unsigned long long>(since));
            // Several ports: each line says whose.
            log.writeLine(ports.size() > 1 ? played.name + ": " + line : std::string(line));
        }
        if (play.timing && !stopped) play.timing->chunkSent({due, writeStarted, length, whole});
        if (stopped) {
            log.writeLine("Playing was stopped");
            return {};
        }
        if (!whole) {
            log.writeLine("Ended play");
            return portFailure(Failure::Kind::PortLost, played.name, port.writeErrorText());
        }
        ++counts.bursts;
        counts.bytes += length;
        counts.atMicros = since;
    }
    log.writeLine("Ended play");
    carryOn(counts);
    return reader.failure();
}
