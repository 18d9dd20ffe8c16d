#include "win32/Application.h"

#include "win32/Module.h"

Application* Application::current_ = nullptr;

Application::Application() : instance_(GetModuleHandleA(nullptr)), name_(executableBaseName()) {
    current_ = this;
}

Application::~Application() {
    if (current_ == this) current_ = nullptr;
}

bool Application::loadAccelerators(int resourceId) {
    accelerators_ = LoadAcceleratorsA(instance_, MAKEINTRESOURCEA(resourceId));
    return accelerators_ != nullptr;
}

bool Application::processMessageFilter(MSG& message) {
    // While a dialog of its own is up the main window is disabled: its keys must not start a
    // recording behind that dialog.
    return accelerators_ != nullptr && mainWindow_ != nullptr && IsWindowEnabled(mainWindow_) &&
           TranslateAcceleratorA(mainWindow_, accelerators_, &message) != 0;
}

std::string Application::commandLineArguments() {
    const char* line = GetCommandLineA();
    if (line == nullptr) return {};
    // The program's own name comes first, quoted when it holds blanks.
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"') ++line;
        if (*line == '"') ++line;
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}
