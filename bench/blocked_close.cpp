// How long closing (WorkerRunner::stopAndWait) takes while the playback worker's write is held
// up: a recording of about 1 MB, all due at once, is played into a serial pair whose device
// side never reads, so the pair fills and the write stops moving, as under hardware flow control.
// Each round closes once the write has been held up for a while, then reads the pair empty: the
// stop cut a chunk, so what the port had taken but not sent is discarded and never arrives.
#include <cstdio>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "tests/support/SerialPair.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"
#include "workers/Workers.h"

namespace {

constexpr int kRounds = 8;
constexpr std::size_t kChunks = 4000;

bool writeRecording(const std::string& path) {
    SerialFileWriter writer;
    if (!writer.open(path)) return false;
    std::uint8_t data[kMaxChunkData];
    for (std::size_t i = 0; i < kChunks; ++i) {
        for (std::size_t j = 0; j < sizeof data; ++j) data[j] = static_cast<std::uint8_t>(i + j);
        writer.writeChunk(0, data, static_cast<std::uint8_t>(sizeof data));
    }
    return writer.close();
}

// Reads until nothing has come for half a second; the count read.
std::size_t drain(SerialPort& device) {
    SerialTimeouts timeouts{kSerialTimeoutMax, kSerialTimeoutMax, 50, 0, 0};
    device.setTimeouts(&timeouts);
    std::uint8_t buffer[4096];
    std::size_t total = 0;
    auto lastBytes = BenchClock::now();
    while (BenchClock::now() - lastBytes < std::chrono::milliseconds(500)) {
        std::uint32_t count = 0;
        if (!device.read(buffer, sizeof buffer, &count)) break;
        if (count > 0) lastBytes = BenchClock::now();
        total += count;
    }
    return total;
}

}  // namespace

int main() {
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    auto folder = benchFolder("veltrane-blocked-close-bench");
    const std::string path = (folder / "held-up.ser").string();
    if (!writeRecording(path)) return 1;

    SerialPort device;
    if (!device.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None,
                     StopBits::One)) {
        std::fprintf(stderr, "device side: %s\n", device.errorText());
        return 1;
    }
    drain(device);

    CountingTraceSink sink;
    DebugTrace trace(sink);
    WorkerJob job;
    job.device.port = pair.portName();
    job.device.speed = 115200;
    job.filePath = path;

    std::vector<double> closing;
    std::size_t heldUp = 0;
    std::uint64_t taken = 0;  // whole chunks the port took, last round
    for (int round = 0; round < kRounds; ++round) {
        TimedListener listener;
        SharedState state(listener);
        WorkerRunner runner(state, trace);
        runner.start(playbackWorker, job);
        if (!listener.waitForStart(std::chrono::seconds(10))) {
            std::fprintf(stderr, "playback did not start\n");
            return 1;
        }
        // Writes end every 100 ms: the rounds close at different points of that cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 + 23 * round));
        if (listener.ended.load()) {
            std::fprintf(stderr, "the pair took the whole recording: no write was held up\n");
            return 1;
        }
        const auto stopAt = BenchClock::now();
        runner.stopAndWait();
        closing.push_back(
            std::chrono::duration<double, std::milli>(BenchClock::now() - stopAt).count());
        heldUp = drain(device);
        taken = state.bytesMoved.load();
    }
    std::filesystem::remove_all(folder);

    std::printf("closing while a write is held up: %d rounds, the pair held %zu bytes\n", kRounds,
                heldUp);
    std::printf("last round: the port took %llu bytes of whole chunks, %zu reached the device\n",
                static_cast<unsigned long long>(taken), heldUp);
    std::printf("stopAndWait ms: min %.1f  median %.1f  max %.1f\n",
                *std::min_element(closing.begin(), closing.end()), percentile(closing, 0.5),
                *std::max_element(closing.begin(), closing.end()));
    return 0;
}
