#include "workers/PortOpening.h"

#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "network/NetworkPort.h"
#include "network/NetworkPortName.h"

namespace {

Failure openNetwork(const DeviceSettings& settings, OpenedPort* opened) {
    std::string reason;
    const auto name = parseNetworkPortName(settings.port, &reason);
    if (!name) return portFailure(Failure::Kind::OpenPort, settings.port, reason);
    auto network = std::make_unique<NetworkPort>();
    if (!network->open(settings.port, *name, settings))
        return portFailure(Failure::Kind::OpenPort, settings.port, network->errorText());
    opened->programPath.clear();
    if (name->serves) {
        const std::string host =
            name->host.find(':') != std::string::npos ? "[" + name->host + "]" : name->host;
        opened->programPath = std::string(name->telnet ? "rfc2217://" : "socket://") + host + ":" +
                              std::to_string(network->listeningPort());
    }
    opened->remarks = network->takeRemarks();
    opened->port = std::move(network);
    return {};
}

Failure openSerial(const DeviceSettings& settings, OpenedPort* opened) {
    auto serial = std::make_unique<WaitableSerialPort>();
    if (!serial->open(SerialPort::devicePath(settings.port), settings.speed, settings.dataBits,
                      settings.parity, settings.stopBits)) {
        return portFailure(Failure::Kind::OpenPort, settings.port, serial->errorText());
    }
    opened->programPath.clear();
    opened->remarks.clear();
    opened->port = std::move(serial);
    return {};
}

}  // namespace

Failure openHostSidePort(const DeviceSettings& settings, OpenedPort* opened) {
    std::string link;
    if (namesPseudoTerminal(settings.port, &link))
        return openPseudoTerminalHost(settings, link, opened);
    return openDeviceSidePort(settings, opened);
}

Failure openDeviceSidePort(const DeviceSettings& settings, OpenedPort* opened) {
    if (looksLikeNetworkPort(settings.port)) return openNetwork(settings, opened);
    return openSerial(settings, opened);
}
