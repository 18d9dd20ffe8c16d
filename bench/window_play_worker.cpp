// Plays a serial file out of a port the way the window does: the same worker through the same
// runner, with the window's debug trace (the system's trace sink at the default verbosity), until
// the file has played. The cli-replay benchmark runs it under Wine and measures at the far end.
//
// Usage: bench_window_play_worker <file.ser> <port>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/BenchSupport.h"
#include "engine/DebugTrace.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"
#include "workers/Workers.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <file.ser> <port>\n", argv[0]);
        return 2;
    }
    DebugTrace trace(systemTraceSink());
    TimedListener listener;
    SharedState state(listener);
    WorkerRunner runner(state, trace);
    WorkerJob job;
    job.filePath = argv[1];
    job.device.port = argv[2];
    job.device.speed = 115200;
    if (runner.start(playbackWorker, job) == 0 ||
        !listener.waitForStart(std::chrono::seconds(10))) {
        std::fprintf(stderr, "playback did not start\n");
        return 1;
    }
    while (!listener.ended.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    runner.stopAndWait();
    return 0;
}
