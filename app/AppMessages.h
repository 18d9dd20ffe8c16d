#pragma once

#include <windows.h>

// Posted by the workers (and by Pause) to the main window; wParam carries the worker-state code.
inline constexpr UINT kWorkerStateMessage = WM_USER + 6;

// Automation: sent to the main window with a command id in wParam, it answers after an update
// pass with -1 when the main menu has no such item, else bit 0 set when the item is enabled and
// bit 1 set when it is checked. Lets test drivers and scripts read the menu from outside.
inline constexpr const char* kMenuItemStateMessageName = "Veltrane.MenuItemState";
