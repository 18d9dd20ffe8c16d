#pragma once

#include "win32/Dialog.h"

// The About box: title, version and picture; OK closes it.
class AboutDialog : public Dialog {
public:
    explicit AboutDialog(HWND owner);
};
