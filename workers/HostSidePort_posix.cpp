#include "engine/PseudoTerminalPort.h"
#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "workers/HostSidePort.h"

Failure openHostSidePort(const DeviceSettings& settings, HostSidePort* host) {
    std::string link;
    if (namesPseudoTerminal(settings.port, &link)) {
        auto pty = std::make_unique<PseudoTerminalPort>();
        if (!pty->open(link))
            return portFailure(Failure::Kind::OpenPort, settings.port, pty->errorText());
        host->programPath = pty->slavePath();
        host->port = std::move(pty);
        return {};
    }
    auto serial = std::make_unique<WaitableSerialPort>();
    if (!serial->open(SerialPort::devicePath(settings.port), settings.speed, settings.dataBits,
                      settings.parity, settings.stopBits)) {
        return portFailure(Failure::Kind::OpenPort, settings.port, serial->errorText());
    }
    host->programPath.clear();
    host->port = std::move(serial);
    return {};
}
