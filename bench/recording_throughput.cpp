// A device writes as fast as the serial pair takes for ten seconds while the recording worker
// records; prints bytes sent, bytes recorded and the rate, with logging off and on.
#include <cstdio>

#include "bench/BenchSupport.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "tests/support/SerialPair.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"
#include "workers/Workers.h"

namespace {

bool runOnce(bool logging, double seconds) {
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return false;
    }
    auto folder = benchFolder("veltrane-recording-bench");
    const std::string path = (folder / "recorded.ser").string();

    CountingTraceSink sink;
    DebugTrace trace(sink);
    TimedListener listener;
    SharedState state(listener);
    WorkerJob job;
    job.device.port = pair.portName();
    job.device.speed = 115200;
    job.filePath = path;
    job.log.loggingOn = logging;
    job.log.logFile = (folder / "serial.log").string();

    SerialPort device;
    if (!device.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None, StopBits::One)) {
        std::fprintf(stderr, "device side: %s\n", device.errorText());
        return false;
    }
    WorkerRunner runner(state, trace);
    runner.start(recordingWorker, job);
    if (!listener.waitForStart(std::chrono::seconds(10))) return false;

    std::uint8_t block[4096];
    for (std::size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<std::uint8_t>(i * 31);
    std::uint64_t sent = 0;
    const auto begin = BenchClock::now();
    const auto end = begin + std::chrono::duration<double>(seconds);
    while (BenchClock::now() < end) {
        std::uint32_t written = 0;
        if (!device.write(block, sizeof block, &written)) break;
        sent += written;
    }
    const double elapsed = std::chrono::duration<double>(BenchClock::now() - begin).count();
    // Let the worker read what is still buffered before stopping it.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    runner.stopAndWait();

    std::uint64_t recorded = 0, chunks = 0;
    {
        SerialFileReader file;
        file.open(path);
        ChunkReader reader(file, kPlaybackResyncStep);
        Chunk chunk;
        while (reader.next(chunk)) {
            recorded += chunk.length;
            ++chunks;
        }
    }
    std::filesystem::remove_all(folder);
    std::printf("logging %-3s: sent %llu bytes, recorded %llu bytes in %llu chunks%s, %.2f MB/s\n",
                logging ? "on" : "off", static_cast<unsigned long long>(sent),
                static_cast<unsigned long long>(recorded), static_cast<unsigned long long>(chunks),
                sent == recorded ? "" : "  MISMATCH", sent / elapsed / 1e6);
    return sent == recorded;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    bool ok = runOnce(false, seconds);
    ok = runOnce(true, seconds) && ok;
    return ok ? 0 : 1;
}
