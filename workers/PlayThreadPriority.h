#pragma once

// Raises the calling thread's scheduling priority for as long as it exists, so that a chunk's
// wake-up is not queued behind other work; the thread's own priority comes back when it goes.
// Where the system refuses, the thread plays at the priority it had: nothing is reported.
class PlayThreadPriority {
public:
    PlayThreadPriority();
    ~PlayThreadPriority();
    PlayThreadPriority(const PlayThreadPriority&) = delete;
    PlayThreadPriority& operator=(const PlayThreadPriority&) = delete;

    enum class Raised { No, Nice, RealTime };  // RealTime: a fixed priority above every normal one
    Raised raised() const { return raised_; }

private:
    Raised raised_ = Raised::No;
    int previousPolicy_ = 0;
    int previousPriority_ = 0;  // the policy's priority, or the thread's nice value
};
