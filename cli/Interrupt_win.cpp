#include <windows.h>

#include <atomic>

#include "cli/Interrupt.h"

namespace {

std::atomic<bool> interruptSeen{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            interruptSeen.store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

InterruptWatch::InterruptWatch() {
    interruptSeen.store(false);
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

InterruptWatch::~InterruptWatch() { SetConsoleCtrlHandler(onControlEvent, FALSE); }

bool InterruptWatch::interrupted() const { return interruptSeen.load(); }
