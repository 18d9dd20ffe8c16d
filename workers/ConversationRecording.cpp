#include "workers/ConversationRecording.h"

#include <chrono>
#include <cstdio>

#include "log/LogWriter.h"
#include "workers/PerfCounter.h"

namespace {

// The wait for bytes returns this often with none, to flush and to ask whether to go on.
constexpr std::chrono::milliseconds kLongestWait(50);
constexpr std::size_t kLargestRead = 4096;

}  // namespace

Failure recordConversation(WaitablePort& port, const std::string& portName,
                           ConversationWriter& writer, const LogSettings& logSettings,
                           ConversationRecordCounts& counts,
                           const std::function<bool(const ConversationRecordCounts&)>& carryOn) {
    LogWriter log(logSettings);
    log.writeLine("Starting recording");
    // Times on the wall clock as the file wants them, counted on the steady counter from one
    // reading of it, so that a clock adjustment during the recording cannot send them backwards.
    const auto wallStart = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const std::int64_t frequency = perfCounterFrequency();
    const std::int64_t start = perfCounterNow();
    const auto microsNow = [&] {
        const auto elapsed = static_cast<std::uint64_t>(perfCounterNow() - start);
        const auto f = static_cast<std::uint64_t>(frequency);
        return elapsed / f * 1'000'000 + elapsed % f * 1'000'000 / f;
    };
    WaitablePort* const ports[] = {&port};
    std::uint8_t lines = 0;  // the line's control lines as last told
    std::uint8_t buffer[kLargestRead];
    char line[64];
    for (;;) {
        if (!carryOn(counts)) {
            log.writeLine("Recording was stopped");
            return {};
        }
        const PortInput input = waitForInput(ports, kLongestWait)[0];
        std::uint32_t count = 0;
        if (input == PortInput::Failed ||
            (input == PortInput::Ready && !port.readAvailable(buffer, sizeof buffer, &count))) {
            log.writeLine("Recording finished");
            return portFailure(Failure::Kind::PortLost, portName, port.errorText());
        }
        const std::uint64_t now = microsNow();
        const std::uint64_t wallNow = static_cast<std::uint64_t>(wallStart.count()) + now;
        // What the device's line did, where the port tells it (a device server's modem lines
        // and breaks), in its place among the bursts.
        for (LineEvent event : port.takeLineEvents()) {
            if (event.kind == LineEventKind::ControlLines) lines = event.controlLines;
            ConversationBurst told{wallNow, Direction::Device, lines, {}};
            told.lineEvent = event;
            if (Failure failure = writer.write(told); failure.happened()) return failure;
        }
        if (count > 0) {
            const ConversationBurst burst{wallNow, Direction::Device, lines, {buffer, count}};
            if (Failure failure = writer.write(burst); failure.happened()) return failure;
            ++counts.bursts;
            counts.bytes += count;
            std::snprintf(line, sizeof line, "us=%llu: sz=%u\r\n",
                          static_cast<unsigned long long>(now), count);
            log.writeLine(line);
        }
        if (Failure failure = writer.flushIfDue(now); failure.happened()) return failure;
    }
}
