#pragma once

#include <windows.h>

#include <string>

// One menu item during the update pass: the command's update rule enables, checks or renames it.
class CommandState {
public:
    CommandState(HMENU menu, UINT index, UINT id) : menu_(menu), index_(index), id_(id) {}
    UINT id() const { return id_; }
    void enable(bool enabled) const {
        EnableMenuItem(menu_, index_, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    }
    void setCheck(bool checked) const {
        CheckMenuItem(menu_, index_, MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
    void setText(const std::string& text) const {
        UINT state = GetMenuState(menu_, index_, MF_BYPOSITION);
        ModifyMenuA(menu_, index_, MF_BYPOSITION | MF_STRING | (state & (MF_GRAYED | MF_CHECKED)),
                    id_, text.c_str());
    }

private:
    HMENU menu_;
    UINT index_;
    UINT id_;
};

// The text of the item with this command anywhere in the menu (256-byte buffer, as menus hold).
std::string menuItemText(HMENU menu, UINT id);
