#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/SharedState.h"

// The port that a serial file's recording or playing uses, whatever its kind: a serial port with
// the run's timeouts, or a port over the network that keeps to the same limits.
class WorkerPort {
public:
    virtual ~WorkerPort() = default;
    // Takes what has arrived; with nothing there, waits for the first byte up to the run's read
    // limit. A port that has gone fails.
    virtual bool read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;
    // Writes what the port takes within the run's write limit; *bytesWritten gets the count.
    virtual bool write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) = 0;
    // Drops what was written but has not left yet (a close must not wait for it).
    virtual void discardOutput() = 0;
    virtual const char* errorText() = 0;
    // What the port found worth a line in the run's log since the last call (a port that went
    // away and came back, a device server's settings); none for a plain serial port.
    virtual std::vector<std::string> takeRemarks() { return {}; }
};

// The timeouts a run sets on a serial port, given the port (whose own timeouts it may keep in
// part). A network port takes the first byte's wait from the read total constant and the
// write's limit from the write total constant.
using WorkerTimeouts = std::function<SerialTimeouts(SerialPort&)>;

// Opens the configured port for a worker with the run's timeouts. A failure goes to the run's log
// with the port's text and to the shared state for the front end; nothing is returned then. A
// serial port that refuses the timeouts must not be used (a read or write could block for good
// and a stop would never be seen): that is told as an open failure is.
// With reconnect, a port that goes away during the run is waited for and reopened (see
// ReconnectingPort): reads find nothing and writes are dropped meanwhile, and the remarks say so.
std::unique_ptr<WorkerPort> openWorkerPort(const DeviceSettings& device,
                                           const WorkerTimeouts& timeouts, LogWriter& log,
                                           SharedState& state, bool reconnect = false);
