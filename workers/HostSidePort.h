#pragma once

#include <memory>
#include <string>

#include "engine/DeviceSettings.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"

// The host side of a run that sits in for or beside a device: the port the program under test
// talks to. Its name says what to make: "pty" or "pty:LINK" a pseudo-terminal for the program
// (POSIX only; LINK becomes a symbolic link to its slave), anything else a serial port opened
// with the line settings.
struct HostSidePort {
    std::unique_ptr<WaitablePort> port;
    // The pseudo-terminal's slave for the program under test to open; empty for a serial port.
    std::string programPath;
};

// "pty" or "pty:LINK": the link, empty for none. Nothing for any other name.
inline bool namesPseudoTerminal(const std::string& name, std::string* link) {
    if (name == "pty") {
        link->clear();
        return true;
    }
    if (name.rfind("pty:", 0) != 0 || name.size() == 4) return false;
    *link = name.substr(4);
    return true;
}

// Opens the host side named by settings.port. A failure is OpenPort naming it, with the reason.
// Platform files.
Failure openHostSidePort(const DeviceSettings& settings, HostSidePort* host);
