#pragma once

#include <string>

#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/SharedState.h"

// Opens the configured port for a worker; a failure goes to the run's log with the port's text,
// and to the shared state for the front end.
inline bool openWorkerPort(SerialPort& port, const DeviceSettings& device, LogWriter& log,
                           SharedState& state) {
    if (port.open(SerialPort::devicePath(device.port), device.speed, device.dataBits, device.parity,
                  device.stopBits)) {
        return true;
    }
    const std::string reason = port.errorText();
    log.writeLine("Error opening serial port: " + reason);
    state.reportFailure(portFailure(Failure::Kind::OpenPort, device.port, reason));
    return false;
}

// Gives the open port the run's timeouts. A port that refuses them keeps the driver's own, with
// which a read or a write may block for good and a stop would never be seen: the run must not
// start. The failure is told as an open failure is.
inline bool setWorkerTimeouts(SerialPort& port, const SerialTimeouts& timeouts,
                              const DeviceSettings& device, LogWriter& log, SharedState& state) {
    if (port.setTimeouts(&timeouts)) return true;
    const std::string reason = port.errorText();
    log.writeLine("Error setting serial port timeouts: " + reason);
    state.reportFailure(portFailure(Failure::Kind::PortTimeouts, device.port, reason));
    return false;
}
