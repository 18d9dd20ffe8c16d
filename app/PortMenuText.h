#pragma once

#include <cstddef>
#include <string>

#include "conversation/ConversationInterface.h"

// The Play menu's item for one port (interface) of a conversation recorded from several:
// "Port &2: COM4 (9600 8N1)", numbered from 1 as the command line numbers them, leaving out what
// the file does not tell. The first nine get their digit as the item's key.
std::string portMenuText(std::size_t interfaceIndex, const ConversationInterface& port);
