#include <windows.h>

#include <atomic>

#include "cli/Interrupt.h"
#include "cli/SessionEndWindow.h"

namespace {

// Windows waits about 5 seconds for a closing console's handlers before ending the process.
constexpr DWORD kCleanUpWaitMs = 5000;

std::atomic<bool> interruptSeen{false};

// Set when the watch ends; the handlers of the ending events wait for it. One for the whole
// process, so that a handler still on its way to the wait never meets a closed handle.
class CleanUpDone {
public:
    CleanUpDone() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~CleanUpDone() {
        if (event_ != nullptr) CloseHandle(event_);
    }
    CleanUpDone(const CleanUpDone&) = delete;
    CleanUpDone& operator=(const CleanUpDone&) = delete;
    void reset() { ResetEvent(event_); }
    void set() { SetEvent(event_); }
    void await() { WaitForSingleObject(event_, kCleanUpWaitMs); }

private:
    HANDLE event_;
};

CleanUpDone& cleanUpDone() {
    static CleanUpDone done;
    return done;
}

// The process ends when this returns: the command must have closed its file first.
void interruptAndAwaitCleanUp() {
    interruptSeen.store(true);
    cleanUpDone().await();
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            interruptSeen.store(true);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            interruptAndAwaitCleanUp();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// Log-off and shutdown come to a program that has loaded user32 as window messages, not as
// console events.
struct InterruptWatch::PlatformWatch {
    SessionEndWindow window{interruptAndAwaitCleanUp};
};

InterruptWatch::InterruptWatch() {
    interruptSeen.store(false);
    cleanUpDone().reset();
    // A program started in a process group of its own ignores Ctrl+C unless it asks for it; an
    // automation starts it so to stop it with a console event of its own.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(onControlEvent, TRUE);
    platform_ = std::make_unique<PlatformWatch>();
}

InterruptWatch::~InterruptWatch() {
    // Released first: removing the handler waits for one that runs, under Wine at least, and
    // the window's thread ends only once its handler has returned.
    cleanUpDone().set();
    SetConsoleCtrlHandler(onControlEvent, FALSE);
    platform_.reset();
}

bool InterruptWatch::interrupted() const { return interruptSeen.load(); }
