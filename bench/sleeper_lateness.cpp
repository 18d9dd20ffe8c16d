// How late the playback's sleeper wakes: 1,500 waits of 1 to 20 ms for an absolute instant,
// each one's lateness against that instant. Playback sends a chunk when the wait ends, so this
// is the part of a chunk's lateness that the wait adds. The waits run at the play thread's
// raised priority, as playback's do.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "workers/PerfCounter.h"
#include "workers/PlayThreadPriority.h"
#include "workers/PreciseSleeper.h"

int main() {
    const std::int64_t frequency = perfCounterFrequency();
    PreciseSleeper sleeper;
    const PlayThreadPriority priority;
    std::mt19937 random(1);
    std::vector<double> lateMs;
    for (int wait = 0; wait < 1500; ++wait) {
        const std::int64_t deadline =
            perfCounterNow() + static_cast<std::int64_t>(1 + random() % 20) * frequency / 1000;
        sleeper.sleepUntil(deadline);
        lateMs.push_back(static_cast<double>(perfCounterNow() - deadline) * 1000.0 /
                         static_cast<double>(frequency));
    }
    std::sort(lateMs.begin(), lateMs.end());
    auto at = [&](double share) {
        return lateMs[static_cast<std::size_t>(share * (lateMs.size() - 1))];
    };
    std::printf(
        "%zu waits of 1-20 ms: lateness p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms\n",
        lateMs.size(), at(0.5), at(0.9), at(0.99), lateMs.back());
    return 0;
}
