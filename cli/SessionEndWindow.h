#pragma once

// Windows only. A console program that has loaded user32 (this one has: winmm, which sets the
// timer period, needs it) is not told of a log-off or shutdown through its console handler: the
// system sends WM_QUERYENDSESSION and WM_ENDSESSION to its top-level windows instead, and ends
// the process once they have answered. While one of these exists, a hidden window on a thread
// of its own agrees to the end and, when the session does end, calls `onSessionEnd` on that
// thread; the process lives on only until it returns. Where no window can be made (no desktop)
// (Wine without an X display) there is none.

#include <memory>

class SessionEndWindow {
public:
    explicit SessionEndWindow(void (*onSessionEnd)());
    // Ends the window and its thread, and waits for them: release a waiting `onSessionEnd`
    // first.
    ~SessionEndWindow();
    SessionEndWindow(const SessionEndWindow&) = delete;
    SessionEndWindow& operator=(const SessionEndWindow&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
