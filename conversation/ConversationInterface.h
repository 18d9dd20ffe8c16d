#pragma once

#include <string>

// One port of a recording, or one pair of a monitor's, as a conversation file describes it.
struct ConversationInterface {
    std::string name;          // the port, or the pair: "COM3 <-> COM4"
    std::string lineSettings;  // e.g. "115200 8N1"
};
