#include <cerrno>
#include <ctime>

#include "workers/PerfCounter.h"
#include "workers/PreciseSleeper.h"

// The counter is the steady clock in nanoseconds, which is CLOCK_MONOTONIC here: waiting for an
// absolute instant of that clock never drifts, however often the wait is interrupted.
struct PreciseSleeper::Impl {};

namespace {

// The last stretch of a wait is spent polling the clock: a timer wake-up can come a millisecond
// late on a busy or virtual machine, a chunk must not. The poll never yields: a yield hands the
// core to any busy process for the rest of its time slice, milliseconds past the instant.
constexpr std::int64_t kSpinNanoseconds = 1'000'000;

}  // namespace

PreciseSleeper::PreciseSleeper() = default;
PreciseSleeper::~PreciseSleeper() = default;

void PreciseSleeper::sleepUntil(std::int64_t counterDeadline) {
    const std::int64_t wakeAt = counterDeadline - kSpinNanoseconds;
    if (wakeAt > perfCounterNow()) {
        timespec wake{};
        wake.tv_sec = static_cast<time_t>(wakeAt / 1'000'000'000);
        wake.tv_nsec = static_cast<long>(wakeAt % 1'000'000'000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
        }
    }
    while (perfCounterNow() < counterDeadline) {
    }
}
