#include "app/TransportRules.h"

#include "app/CommandAvailability.h"

TransportControls transportControls(TransportMode mode, bool hasFile) {
    const TransportFlags flags{mode == TransportMode::Recording, mode == TransportMode::Playing,
                               hasFile, mode == TransportMode::Busy};
    return {mayRun(Command::Record, flags),
            mayRun(Command::Play, flags),
            mayRun(Command::Pause, flags),
            mayRun(Command::Stop, flags),
            mayRun(Command::Rewind, flags),
            mayRun(Command::Forward, flags),
            sliderEnabled(flags)};
}

std::string monitoringStatusText(std::uint64_t hostBytes, std::uint64_t deviceBytes) {
    return "Monitoring: host " + std::to_string(hostBytes) + " bytes, device " +
           std::to_string(deviceBytes) + " bytes";
}

std::string answeringStatusText(std::uint64_t answered, std::uint64_t unknown,
                                const std::string& rulesFile) {
    return "Answering: " + std::to_string(answered) + " requests answered, " +
           std::to_string(unknown) + " unknown" +
           (rulesFile.empty() ? std::string() : " (rules: " + rulesFile + ")");
}
