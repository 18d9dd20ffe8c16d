#include "app/MenuPrompt.h"

std::string promptText(const std::string& tableString) {
    auto newline = tableString.rfind('\n');
    return newline == std::string::npos ? tableString : tableString.substr(0, newline);
}
