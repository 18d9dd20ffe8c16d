#include <windows.h>

#include "workers/PlayThreadPriority.h"

// The process's 1 ms timer period is the sleeper's; the thread's priority is this. Time-critical
// is the highest a thread of a normal process gets, above every normal one. Wine 8 accepts it
// but runs every thread at the system's normal priority, so under Wine playback goes on as before.
PlayThreadPriority::PlayThreadPriority() {
    previousPriority_ = GetThreadPriority(GetCurrentThread());
    if (previousPriority_ == THREAD_PRIORITY_ERROR_RETURN) return;
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
        raised_ = Raised::RealTime;
}

PlayThreadPriority::~PlayThreadPriority() {
    if (raised_ != Raised::No) SetThreadPriority(GetCurrentThread(), previousPriority_);
}
