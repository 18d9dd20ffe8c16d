#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Whether a path names a conversation file rather than a serial file: its extension chooses
// (.pcapng or .pcap, in any case); everything else is a serial file, as it always was.
inline bool namesConversationFile(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "pcapng" || extension == "pcap";
}
