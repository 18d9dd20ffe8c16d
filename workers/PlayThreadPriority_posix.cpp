#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "workers/PlayThreadPriority.h"

namespace {

// Low among the real-time priorities: above every normal thread, below the system's own
// real-time work (interrupt threads run at 50). The thread sleeps between chunks and spins for
// at most a millisecond, so it never holds a core for long.
constexpr int kRealTimePriority = 10;
// Where real-time scheduling is refused: a lower nice value, which a user may take within the
// nice limit (RLIMIT_NICE) the system gives them.
constexpr int kRaisedNice = -10;

// On Linux a thread's nice value is set through its own thread id.
id_t threadId() { return static_cast<id_t>(gettid()); }

}  // namespace

PlayThreadPriority::PlayThreadPriority() {
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &previousPolicy_, &param) != 0) return;
    previousPriority_ = param.sched_priority;
    sched_param raised{};
    raised.sched_priority = kRealTimePriority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &raised) == 0) {
        raised_ = Raised::RealTime;
        return;
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, threadId());
    if (errno != 0 || nice <= kRaisedNice) return;
    if (setpriority(PRIO_PROCESS, threadId(), kRaisedNice) == 0) {
        previousPriority_ = nice;
        raised_ = Raised::Nice;
    }
}

PlayThreadPriority::~PlayThreadPriority() {
    if (raised_ == Raised::RealTime) {
        sched_param param{};
        param.sched_priority = previousPriority_;
        pthread_setschedparam(pthread_self(), previousPolicy_, &param);
    } else if (raised_ == Raised::Nice) {
        setpriority(PRIO_PROCESS, threadId(), previousPriority_);
    }
}
