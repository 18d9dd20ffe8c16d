#include "workers/MonitorToFile.h"

#include "workers/MonitorRelay.h"
#include "workers/ReconnectingPort.h"

Failure openMonitorToFile(std::span<const MonitorPairSettings> pairs, const std::string& path,
                          const std::string& application, MonitorToFile& open,
                          const std::function<void(const std::string&)>& tellProgramPath,
                          bool reconnect) {
    ConversationHeader header{application, {}};
    open.pairs.clear();
    open.pairs.reserve(pairs.size());
    for (const MonitorPairSettings& settings : pairs) {
        MonitoredPair& pair = open.pairs.emplace_back();
        pair.hostName = settings.host.port;
        pair.deviceName = settings.device.port;
        if (Failure failure = openHostSide(settings.host, reconnect, &pair.host);
            failure.happened())
            return failure;
        if (Failure failure = openDeviceSide(settings.device, reconnect, &pair.device);
            failure.happened())
            return failure;
        if (!pair.host.programPath.empty() && tellProgramPath)
            tellProgramPath(pair.host.programPath);
        header.interfaces.push_back({settings.host.port + " <-> " + settings.device.port,
                                     lineSettingsText(settings.device)});
    }
    return open.writer.open(path, header);
}

Failure monitorIntoFile(MonitorToFile& open, const std::atomic<bool>& stop, MonitorCounts& counts,
                        const std::function<void(std::uint64_t steadyMicros)>& tick,
                        const std::function<void(const std::string&)>& remark) {
    MonitorJob job;
    for (MonitoredPair& pair : open.pairs) {
        job.pairs.push_back(
            {pair.host.port.get(), pair.device.port.get(), pair.hostName, pair.deviceName});
    }
    job.remark = remark;
    job.stop = &stop;
    job.sink = [&open](const ConversationBurst& burst) { return open.writer.write(burst); };
    job.idle = [&open, &tick](std::uint64_t now) {
        if (tick) tick(now);
        return open.writer.flushIfDue(now);
    };
    return runMonitor(job, counts);
}
