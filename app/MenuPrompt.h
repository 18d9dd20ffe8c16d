#pragma once

#include <string>

// A menu prompt from the string table: only what stands before the last "\n", which
// separates the prompt from the item's short name.
std::string promptText(const std::string& tableString);
