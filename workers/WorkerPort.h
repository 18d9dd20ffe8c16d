#pragma once

#include <string>

#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/SharedState.h"

// Opens the configured port for a worker; a failure goes to the run's log with the port's text.
inline bool openWorkerPort(SerialPort& port, const DeviceSettings& device, LogWriter& log) {
    if (port.open(SerialPort::devicePath(device.port), device.speed, device.dataBits,
                  device.parity, device.stopBits)) {
        return true;
    }
    log.writeLine(std::string("Error opening serial port: ") + port.errorText());
    return false;
}
