#include <cerrno>
#include <ctime>

#include "workers/PreciseSleeper.h"

// The counter is the steady clock in nanoseconds, which is CLOCK_MONOTONIC here: waiting for an
// absolute instant of that clock never drifts, however often the wait is interrupted.
struct PreciseSleeper::Impl {};

PreciseSleeper::PreciseSleeper() = default;
PreciseSleeper::~PreciseSleeper() = default;

void PreciseSleeper::sleepUntil(std::int64_t counterDeadline) {
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(counterDeadline / 1'000'000'000);
    deadline.tv_nsec = static_cast<long>(counterDeadline % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}
