#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "conversation/ConversationWriter.h"
#include "engine/DeviceSettings.h"
#include "engine/Failure.h"
#include "workers/MonitorCounts.h"
#include "workers/PortOpening.h"

// The settings of one pair a monitor sits between: the program's side and the device's.
struct MonitorPairSettings {
    DeviceSettings host;
    DeviceSettings device;
};

// One pair, opened.
struct MonitoredPair {
    std::string hostName;
    std::string deviceName;
    OpenedPort host;
    OpenedPort device;
};

// A monitor that writes both directions of every pair into a conversation file, opened and run
// the same way by every front end.
struct MonitorToFile {
    std::vector<MonitoredPair> pairs;
    ConversationWriter writer;
};

// Opens each pair's host side (see openHostSidePort), then its device's port, handing the host
// side's program path to tellProgramPath (a pseudo-terminal's only; it may be empty), and only
// then makes the file, with an interface for each pair in their order: a run that cannot start
// leaves a file of that name as it was. `application` names the writer in the file's header.
// With `reconnect`, a serial port (or device server) on either side that goes away is waited
// for and reopened (ReconnectingPort) instead of ending the run.
Failure openMonitorToFile(std::span<const MonitorPairSettings> pairs, const std::string& path,
                          const std::string& application, MonitorToFile& open,
                          const std::function<void(const std::string&)>& tellProgramPath,
                          bool reconnect = false);

// Runs the monitor (see runMonitor) on the calling thread, every burst into the file, which
// reaches the system at least every 100 ms; `tick`, when given, gets the monitor's monotonic
// microseconds as often; `remark`, when given, what a port found worth telling (on the run's
// thread). Ends as runMonitor does; the file stays open for the caller to close.
Failure monitorIntoFile(MonitorToFile& open, const std::atomic<bool>& stop, MonitorCounts& counts,
                        const std::function<void(std::uint64_t steadyMicros)>& tick = {},
                        const std::function<void(const std::string&)>& remark = {});
