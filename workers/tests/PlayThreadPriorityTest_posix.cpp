#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <thread>
#include <tuple>

#include "workers/PlayThreadPriority.h"

namespace {

// Policy, its priority and the nice value of the calling thread.
std::tuple<int, int, int> schedulingOfThisThread() {
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return {policy, param.sched_priority, getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()))};
}

// On a thread of its own, so that the test's thread keeps its scheduling whatever happens.
TEST(PlayThreadPriority, RaisesItsThreadWhileItLivesAndGivesTheThreadsOwnBack) {
    std::thread([] {
        const auto [policy, priority, nice] = schedulingOfThisThread();
        {
            const PlayThreadPriority raised;
            const auto [policyDuring, priorityDuring, niceDuring] = schedulingOfThisThread();
            switch (raised.raised()) {
                case PlayThreadPriority::Raised::RealTime:
                    EXPECT_EQ(policyDuring, SCHED_FIFO);
                    EXPECT_GT(priorityDuring, 0);
                    break;
                case PlayThreadPriority::Raised::Nice:
                    EXPECT_EQ(policyDuring, policy);
                    EXPECT_LT(niceDuring, nice);
                    break;
                case PlayThreadPriority::Raised::No:
                    EXPECT_EQ(std::make_tuple(policyDuring, priorityDuring, niceDuring),
                              std::make_tuple(policy, priority, nice));
                    break;
            }
        }
        EXPECT_EQ(schedulingOfThisThread(), std::make_tuple(policy, priority, nice));
    }).join();
}

}  // namespace
