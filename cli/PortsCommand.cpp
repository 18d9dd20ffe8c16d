// ports: the serial ports of this machine, one a line, for --port of record and play.
#include "cli/FileAndPortCommands.h"
#include "cli/SerialPortList.h"

namespace {

int runPorts(const Arguments& arguments, Console& console) {
    if (!arguments.positionals().empty()) {
        return reportUsageError(console, "ports", "takes no arguments");
    }
    const std::vector<std::string> ports = listSerialPorts();
    for (const std::string& port : ports) std::fprintf(console.out, "%s\n", port.c_str());
    // None is an answer, not a failure; only a person at a terminal is told so.
    if (ports.empty() && console.showProgress) {
        std::fprintf(console.err, "veltrane-cli ports: no serial ports found\n");
    }
    return kExitSuccess;
}

}  // namespace

Command portsCommand() {
    return {"ports",
            "list the serial ports of this machine",
            "Usage: veltrane-cli ports\n\n"
            "Prints one serial port a line. Linux: the /dev/serial/by-id links with their\n"
            "devices (\"LINK -> DEVICE\"), then the /dev/ttyUSB* and /dev/ttyACM* devices and\n"
            "the /dev/ttyS* with a UART found, as the kernel describes them: none is opened,\n"
            "so no board restarts. Windows: the COM names the system knows.\n\n"
            "  -q, --quiet            no note when there is none\n"
            "  -h, --help             this help\n",
            {},
            runPorts};
}
