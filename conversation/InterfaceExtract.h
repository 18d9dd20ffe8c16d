#pragma once

#include <cstdint>
#include <string>

#include "engine/Failure.h"

// Writes the bursts and line events of one interface of a conversation file into a file of
// their own, as if that port had been recorded alone: what answers one port of a recording of
// several reads it as it reads any recording. Times, directions, lines and events stay as they
// were; the interface's name and settings become the new file's one interface.
Failure extractInterface(const std::string& path, std::uint32_t interfaceIndex,
                         const std::string& outPath, const std::string& application);
