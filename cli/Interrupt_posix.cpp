#include <signal.h>

#include <atomic>

#include "cli/Interrupt.h"

namespace {

std::atomic<bool> interruptSeen{false};
struct sigaction previousInterrupt;
struct sigaction previousTerminate;
struct sigaction previousHangUp;

extern "C" void onInterrupt(int) { interruptSeen.store(true); }

}  // namespace

// Signals need nothing besides their handlers.
struct InterruptWatch::PlatformWatch {};

InterruptWatch::InterruptWatch() {
    interruptSeen.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The serial port's reads and writes go on after EINTR themselves.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
    // The terminal went away: a rig's ssh connection dropped, or its window was closed.
    sigaction(SIGHUP, &action, &previousHangUp);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
    sigaction(SIGHUP, &previousHangUp, nullptr);
}

bool InterruptWatch::interrupted() const { return interruptSeen.load(); }
