#include "win32/ErrorBox.h"

void showErrorBox(HWND owner, const std::string& text) {
    MessageBoxA(owner, text.c_str(), "Veltrane Error", MB_ICONERROR | MB_OK);
}
