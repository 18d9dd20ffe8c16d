#pragma once

// Which port plays or answers which interface of a conversation file, as --port gives it: "PORT"
// for a file of one interface, or "N=PORT" for each interface to play, N its number from 1 as
// info lists it or its recorded port name.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversation/ConversationInterface.h"

struct InterfacePort {
    std::uint32_t interfaceIndex = 0;  // from 0
    std::string port;
};

// The ports in the order given, or nothing with the mistake in *error: an interface the file
// does not hold, one given twice, a port given twice, or a plain PORT for a file of several.
std::optional<std::vector<InterfacePort>> interfacePortsFrom(
    const std::vector<std::string>& given, const std::vector<ConversationInterface>& interfaces,
    const std::string& filePath, std::string* error);
