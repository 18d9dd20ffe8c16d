#include "WorkerRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DebugTrace.h"
#include "MemoryProfile.h"
#include "Recorders.h"

namespace {

class CountingListener : public WorkerStateListener {
public:
    void workerStateChanged(int code) override { last.store(code); }
    std::atomic<int> last{99};
};

std::atomic<int> activeWorkers{0};
std::atomic<int> mostAtOnce{0};

// Runs like a worker: sets its flag, loops until stopped, announces its end.
int fakeWorker(SharedState* state) {
    int active = ++activeWorkers;
    if (active > mostAtOnce.load()) mostAtOnce.store(active);
    state->playing.store(1);
    if (!state->stopRequested()) {
        state->notify(kWorkerStarted);
        while (state->playing.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    state->playing.store(0);
    --activeWorkers;
    state->notify(kWorkerEnded);
    return 0;
}

struct RunnerFixture {
    RecordingTraceSink sink;
    DebugTrace trace{sink};
    MemoryProfile profile;
    CountingListener listener;
    SharedState state{trace, profile, listener};
};

}  // namespace

TEST(WorkerRunner, RefusesASecondWorkerWhileOneRuns) {
    RunnerFixture f;
    WorkerRunner runner(f.state);
    ASSERT_TRUE(runner.start(fakeWorker));
    while (f.state.playing.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(runner.isRunning());
    EXPECT_FALSE(runner.start(fakeWorker));
    runner.stopAndWait();
    EXPECT_FALSE(runner.isRunning());
    EXPECT_EQ(f.listener.last.load(), kWorkerEnded);
    EXPECT_EQ(mostAtOnce.load(), 1);
}

TEST(WorkerRunner, StartsAgainOnceTheWorkerHasEnded) {
    RunnerFixture f;
    WorkerRunner runner(f.state);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(runner.start(fakeWorker)) << round;
        while (f.listener.last.load() != kWorkerStarted)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        f.state.requestStop();  // the Stop command; the end is announced, then a new start
        while (!f.state.endNotified()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        f.listener.last.store(99);
    }
    runner.stopAndWait();
    EXPECT_EQ(mostAtOnce.load(), 1);
}

TEST(WorkerRunner, StopRightAfterStartIsNeverLost) {
    RunnerFixture f;
    WorkerRunner runner(f.state);
    for (int round = 0; round < 50; ++round) {
        ASSERT_TRUE(runner.start(fakeWorker));
        f.state.requestStop();
        runner.stopAndWait();  // returns only because the worker saw the stop
        EXPECT_EQ(f.state.playing.load(), 0);
    }
}

TEST(WorkerRunner, DestructionStopsAndAwaitsTheWorker) {
    RunnerFixture f;
    {
        WorkerRunner runner(f.state);
        ASSERT_TRUE(runner.start(fakeWorker));
        while (f.state.playing.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(activeWorkers.load(), 0);
    EXPECT_EQ(f.listener.last.load(), kWorkerEnded);
}
