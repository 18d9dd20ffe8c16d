#include "cli/InterfacePorts.h"

#include <algorithm>

#include "cli/Arguments.h"

namespace {

// The interface `name` stands for: its number, its recorded name, or for a monitor's pair
// ("pty <-> /dev/ttyUSB0") either side's port.
std::optional<std::uint32_t> interfaceNamed(const std::string& name,
                                            const std::vector<ConversationInterface>& interfaces) {
    if (const auto number = parseInteger(name, 1, static_cast<long long>(interfaces.size())))
        return static_cast<std::uint32_t>(*number - 1);
    const std::string between = " <-> ";
    for (std::uint32_t i = 0; i < interfaces.size(); ++i) {
        const std::string& recorded = interfaces[i].name;
        if (recorded.empty()) continue;
        const auto split = recorded.find(between);
        if (recorded == name ||
            (split != std::string::npos && (recorded.substr(0, split) == name ||
                                            recorded.substr(split + between.size()) == name)))
            return i;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<InterfacePort>> interfacePortsFrom(
    const std::vector<std::string>& given, const std::vector<ConversationInterface>& interfaces,
    const std::string& filePath, std::string* error) {
    std::vector<InterfacePort> ports;
    const std::size_t count = std::max<std::size_t>(1, interfaces.size());
    for (const std::string& value : given) {
        // A port's own name may hold '=': only a known interface before it makes it a pairing.
        const auto equals = value.find('=');
        const auto named = equals == std::string::npos
                               ? std::nullopt
                               : interfaceNamed(value.substr(0, equals), interfaces);
        if (!named && given.size() == 1 && count == 1) {
            ports.push_back({0, value});
            break;
        }
        if (!named) {
            const std::string holds = std::to_string(count) + " ports";
            if (count == 1) {
                *error = filePath + " holds one port: give one --port";
            } else if (equals != std::string::npos) {
                *error = "--port " + value + ": " + filePath + " has no port " +
                         value.substr(0, equals) + " (it holds " + holds + ")";
            } else {
                *error = filePath + " holds " + holds +
                         ": give --port N=PORT for each one to use, N from 1 as info lists "
                         "them, or its recorded port name";
            }
            return std::nullopt;
        }
        const InterfacePort port{*named, value.substr(equals + 1)};
        if (port.port.empty()) {
            *error = "--port " + value + " names no port";
            return std::nullopt;
        }
        for (const InterfacePort& earlier : ports) {
            if (earlier.interfaceIndex == port.interfaceIndex) {
                *error = "port " + std::to_string(port.interfaceIndex + 1) + " of " + filePath +
                         " is given twice";
                return std::nullopt;
            }
            if (earlier.port == port.port) {
                *error = "--port " + port.port + " is given twice";
                return std::nullopt;
            }
        }
        ports.push_back(port);
    }
    if (!ports.empty()) return ports;
    *error = "--port is needed";
    return std::nullopt;
}
