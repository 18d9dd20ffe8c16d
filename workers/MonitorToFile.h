#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "conversation/ConversationWriter.h"
#include "engine/DeviceSettings.h"
#include "engine/Failure.h"
#include "workers/MonitorCounts.h"
#include "workers/PortOpening.h"

// A monitor that writes both directions into a conversation file, opened and run the same way by
// every front end.
struct MonitorToFile {
    OpenedPort host;
    OpenedPort device;
    ConversationWriter writer;
};

// Opens the host side (see openHostSidePort), then the device's port, hands the host side's
// program path to tellProgramPath (a pseudo-terminal's only; it may be empty), and only then
// makes the file: a run that cannot start leaves a file of that name as it was. `application`
// names the writer in the file's header.
Failure openMonitorToFile(const DeviceSettings& host, const DeviceSettings& device,
                          const std::string& path, const std::string& application,
                          MonitorToFile& open,
                          const std::function<void(const std::string&)>& tellProgramPath);

// Runs the monitor (see runMonitor) on the calling thread, every burst into the file, which
// reaches the system at least every 100 ms; `tick`, when given, gets the monitor's monotonic
// microseconds as often; `remark`, when given, what a port found worth telling (on the run's
// thread). Ends as runMonitor does; the file stays open for the caller to close.
Failure monitorIntoFile(MonitorToFile& open, const std::string& hostName,
                        const std::string& deviceName, const std::atomic<bool>& stop,
                        MonitorCounts& counts,
                        const std::function<void(std::uint64_t steadyMicros)>& tick = {},
                        const std::function<void(const std::string&)>& remark = {});
