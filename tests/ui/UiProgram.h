#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One run of the built Veltrane.exe, driven from outside as a user's automation would drive it:
// commands arrive as window messages, and what the window shows is read back from its controls.
//
// Each UiProgram runs its own copy of the program under a name of its own (VeltraneUi<pid>_<n>),
// so that its settings key, HKEY_CURRENT_USER\Software\Quorvale\<name>, belongs to it alone. The
// test fills that key before start() and reads what the program wrote after close(). The
// destructor ends the program if it still runs, then deletes the key and the copy.
class UiProgram {
public:
    UiProgram();
    ~UiProgram();
    UiProgram(const UiProgram&) = delete;
    UiProgram& operator=(const UiProgram&) = delete;

    // The application name, which is also the name of the settings key.
    const std::string& name() const { return name_; }
    // The folder that holds the copy; the program's current directory.
    const std::string& folder() const { return folder_; }

    // Settings, by section and value name, as the program keeps them.
    bool writeDword(const std::string& section, const std::string& value, DWORD data);
    bool writeString(const std::string& section, const std::string& value, const std::string& data);
    bool writeBinary(const std::string& section, const std::string& value,
                     const std::vector<std::uint8_t>& data);
    bool readDword(const std::string& section, const std::string& value, DWORD& data) const;
    bool readBinary(const std::string& section, const std::string& value,
                    std::vector<std::uint8_t>& data) const;

    // Starts the copy with an optional command line and waits until its main window has
    // finished its start-up. False with a reason when there is no main window within the limit.
    bool start(const std::string& arguments = "", std::string* why = nullptr);
    bool running() const;
    DWORD processId() const { return processId_; }

    HWND window() const { return window_; }
    HWND tray() const;  // the hidden "SysTray_Class" window, or null
    HWND control(int id) const { return GetDlgItem(window_, id); }

    // Sends a command as the main menu or an accelerator key does (WM_COMMAND, lParam 0).
    bool command(int id);
    // Clicks one of the window's buttons (BM_CLICK).
    bool click(int buttonId);
    // Moves the position slider as a drag does: the slider moves, then tells its window
    // (WM_HSCROLL with TB_THUMBPOSITION).
    bool dragSlider(long position);
    // Posts a message to one of the program's windows.
    bool post(HWND target, UINT message, WPARAM wParam, LPARAM lParam);
    // Returns once the program has handled everything posted to its window thread so far.
    bool settle();

    // What the window shows.
    std::string text(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    long sliderMax() const;
    long sliderPosition() const;
    bool visible() const { return IsWindowVisible(window_) != FALSE; }
    bool topmost() const;
    RECT rect() const;
    // The main menu's answer for a command id: -1 for no such item, else bit 0 enabled and
    // bit 1 checked; kNoAnswer when the program did not answer.
    static constexpr LRESULT kNoAnswer = -2;
    LRESULT menuItemState(int id) const;
    // Captions of the visible dialog windows (message boxes) that the program shows besides
    // its main window.
    std::vector<std::string> shownBoxes() const;

    // Closes the window as the close box does (WM_CLOSE) and waits for the process to end.
    // False when it still runs after the limit. The exit code is then only valid on true.
    bool close(std::chrono::milliseconds limit, DWORD* exitCode = nullptr);
    // Waits for the process to end on its own.
    bool waitForExit(std::chrono::milliseconds limit, DWORD* exitCode = nullptr);

private:
    void end();
    std::string settingsPath(const std::string& section) const;

    std::string name_;
    std::string folder_;
    std::string copyPath_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

// Polls a condition every 20 ms until it holds or the limit passes; true when it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// A position as the time display shows it: minutes, seconds, tenths ("01:00.5").
std::string timeText(unsigned long tenths);
// Back from the display's text to tenths; -1 when the text is not in that form.
long parseTimeText(const std::string& text);

// The program's temporary folder (GetTempPathA) and the regular files in it.
std::string temporaryFolder();
struct FileEntry {
    std::string path;
    std::uint64_t size = 0;
};
std::vector<FileEntry> filesIn(const std::string& folder, const std::string& pattern = "*");
