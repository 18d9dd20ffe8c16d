#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/DebugTrace.h"
#include "tests/support/Recorders.h"
#include "workers/WorkerRunner.h"

namespace {

class CountingListener : public WorkerStateListener {
public:
    void workerStateChanged(WorkerEvent event, std::uint32_t runNumber) override {
        last.store(static_cast<int>(event));
        lastRunNumber.store(runNumber);
    }
    std::atomic<int> last{99};
    std::atomic<std::uint32_t> lastRunNumber{0};
};

std::atomic<int> activeWorkers{0};
std::atomic<int> mostAtOnce{0};

// Runs like a worker: sets its flag, loops until stopped, announces its end.
void fakeWorker(SharedState* state, const WorkerJob&, DebugTrace&) {
    int active = ++activeWorkers;
    if (active > mostAtOnce.load()) mostAtOnce.store(active);
    state->playing.store(true);
    if (!state->stopRequested()) {
        state->notify(WorkerEvent::Started);
        while (state->playing.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    state->playing.store(false);
    --activeWorkers;
    state->notify(WorkerEvent::Ended);
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
    while (!f.state.playing.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    std::uint32_t previousRunNumber = 0;
    for (int round = 0; round < 3; ++round) {
        const std::uint32_t runNumber = runner.start(fakeWorker, WorkerJob{});
        ASSERT_GT(runNumber, previousRunNumber) << round;
        previousRunNumber = runNumber;
        while (f.listener.last.load() != static_cast<int>(WorkerEvent::Started))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        f.state.requestStop();  // the Stop command; the end is announced, then a new start
        while (!f.state.endNotified()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(f.listener.lastRunNumber.load(), runNumber);  // each report names its own run
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
        EXPECT_FALSE(f.state.playing.load());
    }
}

TEST(WorkerRunner, DestructionStopsAndAwaitsTheWorker) {
    RunnerFixture f;
    {
        WorkerRunner runner(f.state, f.trace);
        ASSERT_TRUE(runner.start(fakeWorker, WorkerJob{}));
        while (!f.state.playing.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(activeWorkers.load(), 0);
    EXPECT_EQ(f.listener.last.load(), static_cast<int>(WorkerEvent::Ended));
}
