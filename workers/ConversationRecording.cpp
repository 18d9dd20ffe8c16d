#include "workers/ConversationRecording.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "log/LogWriter.h"
#include "workers/BurstClock.h"

namespace {

// The wait for bytes returns this often with none, to flush and to ask whether to go on.
constexpr std::chrono::milliseconds kLongestWait(50);
constexpr std::size_t kLargestRead = 4096;

}  // namespace

Failure recordConversation(std::span<const RecordedPort> ports, ConversationWriter& writer,
                           const LogSettings& logSettings, ConversationRecordCounts& counts,
                           const std::function<bool(const ConversationRecordCounts&)>& carryOn,
                           const std::function<void(const std::string&)>& remark) {
    LogWriter log(logSettings);
    log.writeLine("Starting recording");
    const BurstClock clock;
    std::vector<WaitablePort*> waited;
    for (const RecordedPort& recorded : ports) waited.push_back(recorded.port);
    std::vector<std::uint8_t> lines(ports.size(), 0);  // each line's control lines as last told
    const bool several = ports.size() > 1;
    std::uint8_t buffer[kLargestRead];
    char line[80];
    for (;;) {
        if (!carryOn(counts)) {
            log.writeLine("Recording was stopped");
            return {};
        }
        const std::vector<PortInput> inputs = waitForInput(waited, kLongestWait);
        // Every burst of one wait shares its instant: that is as close as the wait can tell.
        const std::uint64_t now = clock.sinceStart();
        for (std::size_t index = 0; index < ports.size(); ++index) {
            WaitablePort& port = *ports[index].port;
            const auto interface = static_cast<std::uint32_t>(index);
            std::uint32_t count = 0;
            if (inputs[index] == PortInput::Failed ||
                (inputs[index] == PortInput::Ready &&
                 !port.readAvailable(buffer, sizeof buffer, &count))) {
                log.writeLine("Recording finished");
                return portFailure(Failure::Kind::PortLost, ports[index].name, port.errorText());
            }
            for (const std::string& said : port.takeRemarks()) {
                log.writeLine(ports[index].name + ": " + said);
                if (remark) remark(said);
            }
            // What the device's line did, where the port tells it (a device server's modem
            // lines and breaks, a gap while the port was away), in its place among the bursts.
            for (LineEvent event : port.takeLineEvents()) {
                if (event.kind == LineEventKind::ControlLines) lines[index] = event.controlLines;
                ConversationBurst told{
                    clock.wallMicrosAfter(now), Direction::Device, lines[index], {}};
                told.lineEvent = event;
                told.interfaceIndex = interface;
                if (Failure failure = writer.write(told); failure.happened()) return failure;
            }
            if (count == 0) continue;
            ConversationBurst burst{
                clock.wallMicrosAfter(now), Direction::Device, lines[index], {buffer, count}};
            burst.interfaceIndex = interface;
            if (Failure failure = writer.write(burst); failure.happened()) return failure;
            ++counts.bursts;
            counts.bytes += count;
            if (several) {
                std::snprintf(line, sizeof line, "us=%llu: sz=%u: port=%u\r\n",
                              static_cast<unsigned long long>(now), count, interface + 1);
            } else {
                std::snprintf(line, sizeof line, "us=%llu: sz=%u\r\n",
                              static_cast<unsigned long long>(now), count);
            }
            log.writeLine(line);
        }
        if (Failure failure = writer.flushIfDue(now); failure.happened()) return failure;
    }
}
