#pragma once

#include <windows.h>

#include <string>

// The program's application object: its name (the executable's name without extension), the
// registry root of its settings, the accelerator table, and the filter through which every
// message of a modal loop passes first.
class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one application object of the process.
    static Application* current() { return current_; }

    HINSTANCE instance() const { return instance_; }
    const std::string& name() const { return name_; }

    // Settings live under HKEY_CURRENT_USER\Software\<company>\<name>.
    void setRegistryKey(const std::string& company) { company_ = company; }
    const std::string& company() const { return company_; }

    bool loadAccelerators(int resourceId);
    HWND mainWindow() const { return mainWindow_; }
    void setMainWindow(HWND window) { mainWindow_ = window; }

    // True when the message was handled (an accelerator key of the main window).
    virtual bool processMessageFilter(MSG& message);

    // The arguments after the program's name on the command line.
    static std::string commandLineArguments();

private:
    static Application* current_;
    HINSTANCE instance_;
    std::string name_;
    std::string company_;
    HACCEL accelerators_ = nullptr;
    HWND mainWindow_ = nullptr;
};
