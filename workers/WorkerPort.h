#pragma once

#include <string>

#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/SharedState.h"

// Opens the configured port for a worker; a failure goes to the run's log with the port's text,
// and to the shared state for a front end without a log.
inline bool openWorkerPort(SerialPort& port, const DeviceSettings& device, LogWriter& log,
                           SharedState& state) {
    if (port.open(SerialPort::devicePath(device.port), device.speed, device.dataBits,
                  device.parity, device.stopBits)) {
        return true;
    }
    const std::string reason = port.errorText();
    log.writeLine("Error opening serial port: " + reason);
    state.reportFailureText("cannot open port " + device.port + ": " + reason);
    return false;
}
