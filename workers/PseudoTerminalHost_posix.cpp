#include "engine/PseudoTerminalPort.h"
#include "workers/PortOpening.h"

Failure openPseudoTerminalHost(const DeviceSettings& settings, const std::string& link,
                               OpenedPort* opened) {
    auto pty = std::make_unique<PseudoTerminalPort>();
    if (!pty->open(link))
        return portFailure(Failure::Kind::OpenPort, settings.port, pty->errorText());
    opened->programPath = pty->slavePath();
    opened->remarks.clear();
    opened->port = std::move(pty);
    return {};
}
