#pragma once

// While one exists, Ctrl+C and the system's requests to end (SIGINT and SIGTERM on POSIX, the
// console's control events on Windows) only set a flag: a command then stops its worker, which
// closes its file whole, instead of the program dying mid-write. Platform files.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool interrupted() const;
};
