#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How long a conversation file lasts: from its first burst to its last, in microseconds. A
// pcapng file's last burst is read from its end, so a file of any size answers at once. Other
// files (classic pcap, a last block cut short) are read through when they are at most
// `scanLimitBytes` long; longer ones, and files that cannot be read, have no answer.
std::optional<std::uint64_t> conversationSpanMicros(const std::string& path,
                                                    std::uint64_t scanLimitBytes);
