// Plays a generated recording of over a minute into a serial pair and measures, at the far end,
// how late each chunk's first byte arrives against its due time (start + time offset x 100 ms).
#include <cstdio>
#include <random>

#include "bench/BenchSupport.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "tests/support/SerialPair.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"
#include "workers/Workers.h"

namespace {

struct PlannedChunk {
    std::uint32_t timeOffset;
    std::size_t firstByte;  // index of its first byte in the whole stream
    std::size_t length;
};

std::vector<PlannedChunk> writeRecording(const std::string& path, std::size_t count) {
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> gap(0, 3), size(1, 255), value(0, 255);
    std::vector<PlannedChunk> plan;
    SerialFileWriter writer;
    if (!writer.open(path)) return plan;
    std::uint32_t offset = 0;
    std::size_t position = 0;
    std::uint8_t data[255];
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) offset += static_cast<std::uint32_t>(gap(random));
        std::size_t length = static_cast<std::size_t>(size(random));
        for (std::size_t j = 0; j < length; ++j) data[j] = static_cast<std::uint8_t>(value(random));
        writer.writeChunk(offset, data, static_cast<std::uint8_t>(length));
        plan.push_back({offset, position, length});
        position += length;
    }
    writer.close();
    return plan;
}

}  // namespace

int main() {
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    auto folder = benchFolder("veltrane-playback-bench");
    const std::string path = (folder / "timing.ser").string();
    auto plan = writeRecording(path, 480);  // about 72 s of recording
    if (plan.empty()) return 1;
    const std::size_t totalBytes = plan.back().firstByte + plan.back().length;

    SerialPort device;
    if (!device.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None, StopBits::One)) {
        std::fprintf(stderr, "device side: %s\n", device.errorText());
        return 1;
    }
    // Reads return at once with what is there; the loop polls. A waiting read would measure the
    // reader: under Wine a read that waits for its first byte returns only at its timeout.
    SerialTimeouts timeouts{kSerialTimeoutMax, 0, 0, 0, 0};
    device.setTimeouts(&timeouts);

    CountingTraceSink sink;
    DebugTrace trace(sink);
    TimedListener listener;
    SharedState state(listener);
    WorkerJob job;
    job.device.port = pair.portName();
    job.device.speed = 115200;
    job.filePath = path;

    std::vector<BenchClock::time_point> arrival(plan.size());
    std::size_t received = 0, nextChunk = 0;
    WorkerRunner runner(state, trace);
    runner.start(playbackWorker, job);
    if (!listener.waitForStart(std::chrono::seconds(10))) {
        std::fprintf(stderr, "playback did not start\n");
        return 1;
    }
    std::uint8_t buffer[4096];
    auto limit = BenchClock::now() + std::chrono::seconds(120);
    while (received < totalBytes && BenchClock::now() < limit) {
        std::uint32_t count = 0;
        if (!device.read(buffer, sizeof buffer, &count)) break;
        if (count == 0) {
            std::this_thread::yield();
            continue;
        }
        auto now = BenchClock::now();
        received += count;
        while (nextChunk < plan.size() && plan[nextChunk].firstByte < received)
            arrival[nextChunk++] = now;
    }
    runner.stopAndWait();
    std::filesystem::remove_all(folder);
    if (received != totalBytes) {
        std::fprintf(stderr, "received %zu of %zu bytes\n", received, totalBytes);
        return 1;
    }

    const auto start = listener.started();
    std::vector<double> lateness;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        auto due = start + std::chrono::milliseconds(100) * plan[i].timeOffset;
        lateness.push_back(std::chrono::duration<double, std::milli>(arrival[i] - due).count());
    }
    std::printf("playback timing: %zu chunks, %zu bytes over %.1f s\n", plan.size(), totalBytes,
                plan.back().timeOffset / 10.0);
    std::printf("lateness ms: p50 %.3f  p99 %.3f  max %.3f\n", percentile(lateness, 0.50),
                percentile(lateness, 0.99), *std::max_element(lateness.begin(), lateness.end()));
    std::printf("drift: first chunk %.3f ms late, last chunk %.3f ms late\n", lateness.front(),
                lateness.back());
    return 0;
}
