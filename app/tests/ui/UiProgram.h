#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class UiProgram;

// One of the program's dialogs (a settings or conversion dialog, a file dialog, a message box),
// driven like the main window: what is posted to it is handled before anything is read back.
// Invalid (false) when no such dialog was found.
class UiDialog {
public:
    UiDialog() = default;
    UiDialog(UiProgram& program, HWND window) : program_(&program), window_(window) {}
    explicit operator bool() const { return window_ != nullptr; }

    HWND handle() const { return window_; }
    HWND control(int id) const { return GetDlgItem(window_, id); }
    bool visible() const { return IsWindowVisible(window_) != FALSE; }
    std::string caption() const;

    // A control's text; message boxes keep theirs in the static 0xFFFF.
    std::string text(int id) const;
    // Replaces an edit's text as typing it would (WM_SETTEXT; the edit reports the change).
    bool setText(int id, const std::string& text);
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    bool checked(int id) const;
    // Clicks a button or check box (BM_CLICK). False, and nothing is sent, when the control is
    // missing, hidden or disabled: a user could not click it either.
    bool click(int id);

    // Drop-down lists: the selected entry (-1 for none), its text ("" for none), the entries.
    int selection(int listId) const;
    std::string selectedText(int listId) const;
    std::vector<std::string> entries(int listId) const;
    // Picks an entry as a user does: the list selects it and tells the dialog (CBN_SELCHANGE).
    bool choose(int listId, int index);

    // The common file dialog: types a path into its file name box (ComboBoxEx32 0x47C).
    bool typeFileName(const std::string& path);

private:
    UiProgram* program_ = nullptr;
    HWND window_ = nullptr;
};

// One run of the built Veltrane.exe, driven from outside as a user's automation would drive it:
// commands arrive as window messages, and what the window shows is read back from its controls.
//
// Each UiProgram runs its own copy of the program under a name of its own (VeltraneUi<pid>_<n>),
// so that its settings key, HKEY_CURRENT_USER\Software\Quorvale\<name>, belongs to it alone. The
// test fills that key before start() and reads what the program wrote after close(). The
// destructor ends the program if it still runs (answering No to a question about an unsaved
// recording), then deletes the key and the copy.
class UiProgram {
public:
    UiProgram();
    // A second run of another UiProgram's copy under the same name and settings, as a user
    // starts the program twice. The first one keeps the copy and the settings key and must
    // outlive this one.
    struct SameCopyAs {
        const UiProgram& first;
    };
    explicit UiProgram(SameCopyAs same);
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
    bool readString(const std::string& section, const std::string& value, std::string& data) const;
    std::vector<std::string> valueNames(const std::string& section) const;
    // Removes a section with all its values, e.g. to see what a command writes into it.
    bool deleteSection(const std::string& section);

    // The next start()s run with this environment variable set (e.g. TMP), the rest inherited.
    void setEnvironment(const std::string& variable, const std::string& value);

    // Starts the copy (again, once an earlier run has ended) with an optional command line and
    // waits until its main window has finished its start-up. False with a reason when there is
    // no main window within the limit.
    bool start(const std::string& arguments = "", std::string* why = nullptr);
    bool running() const;
    // Ends the program at once, as a crash or the task manager would: none of its shutdown
    // runs. It can be started again.
    bool kill();
    DWORD processId() const { return processId_; }
    // The program's resident memory (its working set) in bytes; 0 when it cannot be read.
    std::uint64_t residentBytes() const;

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
    // Returns once the program has handled everything posted to its window thread so far,
    // including a conversion that this started.
    bool settle();

    // What the window shows.
    std::string text(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    long sliderMax() const;
    long sliderPosition() const;
    bool visible() const { return IsWindowVisible(window_) != FALSE; }
    // A list view's rows, its selected row (-1: none) and a cell's text, read through memory
    // lent in the program (a list keeps its texts in the process that shows them).
    int listRows(int id) const;
    int listSelection(int id) const;
    std::string listText(int id, int row, int column) const;
    // Double-clicks a list row as the mouse does, at the middle of its first cell.
    bool doubleClickListRow(int id, int row);
    bool topmost() const;
    RECT rect() const;
    // The main menu's answer for a command id: -1 for no such item, else bit 0 enabled and
    // bit 1 checked; kNoAnswer when the program did not answer.
    static constexpr LRESULT kNoAnswer = -2;
    LRESULT menuItemState(int id) const;
    // Captions of the visible dialog windows (message boxes) that the program shows besides
    // its main window.
    std::vector<std::string> shownBoxes() const;
    // Waits for a visible dialog of the program, besides the main window, with this caption;
    // or for the visible common file dialog (the one with a file name box).
    UiDialog dialog(const std::string& caption, std::chrono::milliseconds limit);
    UiDialog fileDialog(std::chrono::milliseconds limit);

    // Closes the window as the close box does (WM_CLOSE) and waits for the process to end.
    // False when it still runs after the limit. The exit code is then only valid on true.
    bool close(std::chrono::milliseconds limit, DWORD* exitCode = nullptr);
    // Waits for the process to end on its own.
    bool waitForExit(std::chrono::milliseconds limit, DWORD* exitCode = nullptr);

private:
    void end();
    // Posts a marker to the window thread and waits until it has been handled.
    bool roundTrip();
    std::string settingsPath(const std::string& section) const;

    std::string name_;
    std::string folder_;
    std::string copyPath_;
    bool ownsCopy_ = true;
    std::vector<std::pair<std::string, std::string>> environment_;
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
