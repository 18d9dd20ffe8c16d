#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/DeviceSettings.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"

// A port that a run waits on, opened by the name the user gave: a serial port ("COM3",
// "/dev/ttyUSB0"), a device server over the network ("rfc2217://HOST:PORT", "tcp://HOST:PORT"),
// a port served to the program under test ("rfc2217-server:[ADDR:]PORT",
// "tcp-server:[ADDR:]PORT"), or on the host side a pseudo-terminal ("pty", "pty:LINK"; POSIX
// only, LINK becomes a symbolic link to its slave).
struct OpenedPort {
    std::unique_ptr<WaitablePort> port;
    // Where the program under test finds this side: the pseudo-terminal's slave, or the served
    // port's address as a client names it ("rfc2217://127.0.0.1:7000"); empty for the others.
    std::string programPath;
    // What opening found worth a line in the log (a device server that applied other
    // settings, say).
    std::vector<std::string> remarks;
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

// Opens the host side named by settings.port (any of the kinds above). A failure is OpenPort
// naming it, with the reason.
Failure openHostSidePort(const DeviceSettings& settings, OpenedPort* opened);
// The same for the device's side, where a pseudo-terminal makes no sense.
Failure openDeviceSidePort(const DeviceSettings& settings, OpenedPort* opened);

// The pseudo-terminal for the program under test. Platform files.
Failure openPseudoTerminalHost(const DeviceSettings& settings, const std::string& link,
                               OpenedPort* opened);
