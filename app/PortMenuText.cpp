#include "app/PortMenuText.h"

namespace {

// A menu takes "&" as the mark of the item's key: a name's own stays a character.
std::string menuLiteral(const std::string& text) {
    std::string literal;
    for (const char c : text) {
        if (c == '&') literal += '&';
        literal += c;
    }
    return literal;
}

}  // namespace

std::string portMenuText(std::size_t interfaceIndex, const ConversationInterface& port) {
    const std::size_t number = interfaceIndex + 1;
    std::string text =
        number <= 9 ? "Port &" + std::to_string(number) : "Port " + std::to_string(number);
    if (!port.name.empty()) text += ": " + menuLiteral(port.name);
    if (!port.lineSettings.empty()) text += " (" + menuLiteral(port.lineSettings) + ")";
    return text;
}
