#include "network/NetworkPortName.h"

#include <charconv>

namespace {

struct Scheme {
    const char* prefix;
    bool telnet;
    bool serves;
};
constexpr Scheme kSchemes[] = {
    {"rfc2217://", true, false},
    {"tcp://", false, false},
    {"rfc2217-server:", true, true},
    {"tcp-server:", false, true},
};

const Scheme* schemeOf(const std::string& name) {
    for (const Scheme& scheme : kSchemes) {
        if (name.rfind(scheme.prefix, 0) == 0) return &scheme;
    }
    return nullptr;
}

// A served port may be 0: any free port, which the command then tells.
bool parsePortNumber(const std::string& text, bool serves, std::uint16_t* port) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != end || (value == 0 && !serves) ||
        value > 65535)
        return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

bool looksLikeNetworkPort(const std::string& name) { return schemeOf(name) != nullptr; }

std::optional<NetworkPortName> parseNetworkPortName(const std::string& name, std::string* reason) {
    const Scheme* scheme = schemeOf(name);
    if (!scheme) {
        *reason = "not a network port";
        return std::nullopt;
    }
    NetworkPortName parsed;
    parsed.telnet = scheme->telnet;
    parsed.serves = scheme->serves;
    std::string rest = name.substr(std::char_traits<char>::length(scheme->prefix));
    // A client's URL may end in a slash or carry options after '?': neither is used here.
    if (!scheme->serves) {
        const std::size_t cut = rest.find_first_of("/?");
        if (cut != std::string::npos) rest.resize(cut);
    }
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            *reason = "an IPv6 address goes in brackets before :PORT";
            return std::nullopt;
        }
        parsed.host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos) {
            if (!scheme->serves) {
                *reason = "the address needs HOST:PORT";
                return std::nullopt;
            }
            portText = rest;
        } else {
            parsed.host = rest.substr(0, colon);
            portText = rest.substr(colon + 1);
            if (parsed.host.find(':') != std::string::npos) {
                *reason = "an IPv6 address goes in brackets before :PORT";
                return std::nullopt;
            }
        }
    }
    if (!parsePortNumber(portText, parsed.serves, &parsed.port)) {
        *reason = "'" + portText + "' is not a TCP port number (1-65535)";
        return std::nullopt;
    }
    if (parsed.host.empty()) {
        if (!scheme->serves) {
            *reason = "the address needs a host before :PORT";
            return std::nullopt;
        }
        // Served ports listen on loopback unless another address is named: the protocol has
        // no authentication of its own.
        parsed.host = "127.0.0.1";
    }
    reason->clear();
    return parsed;
}
