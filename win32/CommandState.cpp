#include "win32/CommandState.h"

std::string menuItemText(HMENU menu, UINT id) {
    char text[256] = {};
    int length = GetMenuStringA(menu, id, text, sizeof text, MF_BYCOMMAND);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}
