#include "workers/MonitorToFile.h"

#include "workers/MonitorRelay.h"

Failure openMonitorToFile(const DeviceSettings& host, const DeviceSettings& device,
                          const std::string& path, const std::string& application,
                          MonitorToFile& open,
                          const std::function<void(const std::string&)>& tellProgramPath) {
    if (Failure failure = openHostSidePort(host, &open.host); failure.happened()) return failure;
    if (Failure failure = openDeviceSidePort(device, &open.device); failure.happened())
        return failure;
    if (!open.host.programPath.empty() && tellProgramPath) tellProgramPath(open.host.programPath);
    const ConversationHeader header{
        application, {{host.port + " <-> " + device.port, lineSettingsText(device)}}};
    return open.writer.open(path, header);
}

Failure monitorIntoFile(MonitorToFile& open, const std::string& hostName,
                        const std::string& deviceName, const std::atomic<bool>& stop,
                        MonitorCounts& counts,
                        const std::function<void(std::uint64_t steadyMicros)>& tick,
                        const std::function<void(const std::string&)>& remark) {
    MonitorJob job;
    job.host = open.host.port.get();
    job.device = open.device.port.get();
    job.remark = remark;
    job.hostName = hostName;
    job.deviceName = deviceName;
    job.stop = &stop;
    job.sink = [&open](const ConversationBurst& burst) { return open.writer.write(burst); };
    job.idle = [&open, &tick](std::uint64_t now) {
        if (tick) tick(now);
        return open.writer.flushIfDue(now);
    };
    return runMonitor(job, counts);
}
