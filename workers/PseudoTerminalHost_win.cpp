#include "workers/PortOpening.h"

// Windows has no pseudo-terminal a serial program could open: a virtual COM pair stands in, or
// a served network port.
Failure openPseudoTerminalHost(const DeviceSettings& settings, const std::string&, OpenedPort*) {
    return portFailure(Failure::Kind::OpenPort, settings.port,
                       "pty host ports are made on Linux; on Windows use one end of a virtual COM "
                       "pair, or serve the port over the network (rfc2217-server:PORT)");
}
