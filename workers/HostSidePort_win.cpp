#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "workers/HostSidePort.h"

Failure openHostSidePort(const DeviceSettings& settings, HostSidePort* host) {
    std::string link;
    // Windows has no pseudo-terminal a serial program could open: a virtual COM pair stands in.
    if (namesPseudoTerminal(settings.port, &link)) {
        return portFailure(Failure::Kind::OpenPort, settings.port,
                           "pty host ports are made on Linux; on Windows use one end of a "
                           "virtual COM pair");
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
