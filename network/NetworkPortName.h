#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A port reached over TCP, as the user names it where a serial port's name goes:
//   rfc2217://HOST:PORT        a device server speaking Telnet with the COM port option
//   tcp://HOST:PORT            a device server passing bytes only
//   rfc2217-server:[ADDR:]PORT served by us for the program under test (loopback by default)
//   tcp-server:[ADDR:]PORT     the same, bytes only
// HOST and ADDR may be a name, an IPv4 address or an IPv6 address in brackets. A served PORT of
// 0 takes any free port.
struct NetworkPortName {
    bool telnet = false;  // rfc2217 (Telnet with the COM port option), else raw bytes
    bool serves = false;  // we listen; else we connect
    std::string host;     // without brackets
    std::uint16_t port = 0;
};

// Whether the name is meant as a network port at all (its scheme), right or wrong.
bool looksLikeNetworkPort(const std::string& name);

// The parts of a network port's name, or the reason it is not one (empty when it is).
std::optional<NetworkPortName> parseNetworkPortName(const std::string& name, std::string* reason);
