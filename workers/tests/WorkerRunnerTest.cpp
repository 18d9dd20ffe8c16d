#include "workers/WorkerRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/DebugTrace.h"
#include "tests/support/Recorders.h"

namespace {

class CountingListener : public WorkerStateListener {
public:
    void workerStateChanged(WorkerEvent event, std::uint32_t job) override {
        last.store(static_cast<int>(event));
        lastJob.store(job);
    }
    std::atomic<int> last{99};
    std::atomic<std::uint32_t> lastJob{0};
};

std::atomic<int> activeWorkers{0};
std::atomic<int> mostAtOnce{0};

// Runs like a worker: sets its flag, loops until stopped, announces its end.
int fakeWorker(SharedState* state, const WorkerJob&, DebugTrace&) {
    int active = ++activeWorkers;
    if (active > mostAtOnce.load()) mostAtOnce.store(active);
    state->playing.store(1);
    if (!state->stopRequested()) {
        state->notify(WorkerEvent::Started);
        while (state->playing.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    state->playing.store(0);
    --activeWorkers;
    state->notify(WorkerEvent::Ended);
    return 0;
}

struct RunnerFixture {
    RecordingTraceSink sink;
    DebugTrace trace{sink};
    CountingListener listener;
    SharedState state{listener};
};

}  // namespace

TEST(WorkerRunner, RefusesASecondWorkerWhileOneRuns) {
    RunnerFixture f;
    WorkerRunner runner(f.state, f.trace);
    ASSERT_TRUE(runner.start(fakeWorker, WorkerJob{}));
    while (f.state.playing.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(runner.isRunning());
    EXPECT_FALSE(runner.start(fakeWorker, WorkerJob{}));
    runner.stopAndWait();
    EXPECT_FALSE(runner.isRunning());
    EXPECT_EQ(f.listener.last.load(), static_cast<int>(WorkerEvent::Ended));
    EXPECT_EQ(mostAtOnce.load(), 1);
}

TEST(WorkerRunner, StartsAgainOnceTheWorkerHasEnded) {
    RunnerFixture f;
    WorkerRunner runner(f.state, f.trace);
    std::uint32_t previousJob = 0;
    for (int round = 0; round < 3; ++round) {
        const std::uint32_t job = runner.start(fakeWorker, WorkerJob{});
        ASSERT_GT(job, previousJob) << round;
        previousJob = job;
        while (f.listener.last.load() != static_cast<int>(WorkerEvent::Started))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        f.state.requestStop();  // the Stop command; the end is announced, then a new start
        while (!f.state.endNotified()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(f.listener.lastJob.load(), job);  // each report names its own run
        f.listener.last.store(99);
    }
    runner.stopAndWait();
    EXPECT_EQ(mostAtOnce.load(), 1);
}

TEST(WorkerRunner, StopRightAfterStartIsNeverLost) {
    RunnerFixture f;
    WorkerRunner runner(f.state, f.trace);
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(runner.start(fakeWorker, WorkerJob{}));
        f.state.requestStop();
        runner.stopAndWait();  // returns only because the worker saw the stop
        EXPECT_EQ(f.state.playing.load(), 0);
    }
}

TEST(WorkerRunner, DestructionStopsAndAwaitsTheWorker) {
    RunnerFixture f;
    {
        WorkerRunner runner(f.state, f.trace);
        ASSERT_TRUE(runner.start(fakeWorker, WorkerJob{}));
        while (f.state.playing.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(activeWorkers.load(), 0);
    EXPECT_EQ(f.listener.last.load(), static_cast<int>(WorkerEvent::Ended));
}
