#include "app/tests/ui/UiProgram.h"

#include <commctrl.h>
// psapi.h needs windows.h before it.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "res/resource.h"
#include "win32/RegistryKey.h"

namespace {

constexpr UINT kAnswerLimitMs = 5000;  // for each message sent to the program
constexpr const char* kCompanyKey = "Software\\Quorvale\\";
constexpr const char* kMainCaption = "Veltrane";
constexpr const char* kTrayClass = "SysTray_Class";
constexpr const char* kMenuItemStateMessage = "Veltrane.MenuItemState";
constexpr const char* kDialogClass = "#32770";
constexpr int kFileNameBox = 0x47C;  // the explorer-style file dialog's ComboBoxEx32

// The built program, as the build names it: a Linux path under Wine, seen through drive Z:.
std::string builtProgramPath() {
    std::string path = VELTRANE_PROGRAM_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

bool sendWithLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerLimitMs,
                               result ? result : &ignored) != 0;
}

std::string className(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string caption(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Every top-level window of one process.
std::vector<HWND> topLevelWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A window's text as WM_GETTEXT gives it, with markers for what is not there to read.
std::string windowText(HWND item, int id) {
    if (!item) return "<no control " + std::to_string(id) + ">";
    char buffer[512] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(item, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, kAnswerLimitMs, &length)) {
        return "<no answer>";
    }
    return std::string(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
}

// Entries are read with the wide messages: across processes Wine hands the ANSI form's
// buffer back in wide characters.
std::string listEntry(HWND list, int index) {
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG,
                            kAnswerLimitMs, &length) == 0 ||
        static_cast<LRESULT>(length) == CB_ERR) {
        return "<no entry " + std::to_string(index) + ">";
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                            reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG, kAnswerLimitMs,
                            &copied) == 0 ||
        static_cast<LRESULT>(copied) == CB_ERR) {
        return "<no entry " + std::to_string(index) + ">";
    }
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(copied), nullptr, 0,
                                   nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(copied), text.data(), size,
                            nullptr, nullptr);
    }
    return text;
}

// This process's environment with the variables set for the program replaced; empty when none
// are set, so that the program simply inherits.
std::vector<char> environmentBlock(
    const std::vector<std::pair<std::string, std::string>>& replaced) {
    std::vector<char> block;
    if (replaced.empty()) return block;
    auto append = [&](const std::string& entry) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    };
    if (char* inherited = GetEnvironmentStringsA()) {
        for (const char* entry = inherited; *entry != '\0'; entry += lstrlenA(entry) + 1) {
            bool keep = true;
            for (const auto& [variable, value] : replaced) {
                const std::string prefix = variable + "=";
                keep = keep && _strnicmp(entry, prefix.c_str(), prefix.size()) != 0;
            }
            if (keep) append(entry);
        }
        FreeEnvironmentStringsA(inherited);
    }
    for (const auto& [variable, value] : replaced) append(variable + "=" + value);
    block.push_back('\0');
    return block;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string timeText(unsigned long tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lu:%02lu.%lu", tenths / 10 / 60, tenths / 10 % 60,
                  tenths % 10);
    return text;
}

long parseTimeText(const std::string& text) {
    unsigned long minutes = 0, seconds = 0, tenths = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%lu:%2lu.%1lu%n", &minutes, &seconds, &tenths, &used) != 3 ||
        static_cast<std::size_t>(used) != text.size() || seconds > 59) {
        return -1;
    }
    return static_cast<long>((minutes * 60 + seconds) * 10 + tenths);
}

std::string temporaryFolder() {
    char folder[MAX_PATH] = {};
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return {};
    return folder;
}

std::vector<FileEntry> filesIn(const std::string& folder, const std::string& pattern) {
    std::vector<FileEntry> files;
    std::string base = folder;
    if (!base.empty() && base.back() != '\\') base += '\\';
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((base + pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        files.push_back(
            {base + data.cFileName,
             (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return files;
}

UiProgram::UiProgram() {
    static std::atomic<unsigned> counter{0};
    name_ = "VeltraneUi" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
    folder_ = temporaryFolder() + name_;
    CreateDirectoryA(folder_.c_str(), nullptr);
    copyPath_ = folder_ + "\\" + name_ + ".exe";
    CopyFileA(builtProgramPath().c_str(), copyPath_.c_str(), FALSE);
    // Nothing of an earlier run under this name may linger in the settings.
    deleteRegistryTree(HKEY_CURRENT_USER, kCompanyKey + name_);
}

UiProgram::UiProgram(SameCopyAs same)
    : name_(same.first.name_),
      folder_(same.first.folder_),
      copyPath_(same.first.copyPath_),
      ownsCopy_(false) {}

UiProgram::~UiProgram() {
    end();
    if (!ownsCopy_) return;
    deleteRegistryTree(HKEY_CURRENT_USER, kCompanyKey + name_);
    // The image of an ended process may stay locked for a moment.
    waitUntil(
        [&] { return DeleteFileA(copyPath_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; },
        std::chrono::seconds(5));
    for (const FileEntry& file : filesIn(folder_)) DeleteFileA(file.path.c_str());
    RemoveDirectoryA(folder_.c_str());
}

std::string UiProgram::settingsPath(const std::string& section) const {
    return kCompanyKey + name_ + "\\" + section;
}

bool UiProgram::writeDword(const std::string& section, const std::string& value, DWORD data) {
    return RegistryKey::openForWrite(HKEY_CURRENT_USER, settingsPath(section))
        .writeDword(value, data);
}

bool UiProgram::writeString(const std::string& section, const std::string& value,
                            const std::string& data) {
    return RegistryKey::openForWrite(HKEY_CURRENT_USER, settingsPath(section))
        .writeString(value, data);
}

bool UiProgram::writeBinary(const std::string& section, const std::string& value,
                            const std::vector<std::uint8_t>& data) {
    return RegistryKey::openForWrite(HKEY_CURRENT_USER, settingsPath(section))
        .writeBinary(value, data);
}

bool UiProgram::readString(const std::string& section, const std::string& value,
                           std::string& data) const {
    return RegistryKey::openForRead(HKEY_CURRENT_USER, settingsPath(section))
        .readString(value, data);
}

bool UiProgram::deleteSection(const std::string& section) {
    return deleteRegistryTree(HKEY_CURRENT_USER, settingsPath(section));
}

bool UiProgram::readDword(const std::string& section, const std::string& value, DWORD& data) const {
    return RegistryKey::openForRead(HKEY_CURRENT_USER, settingsPath(section))
        .readDword(value, data);
}

bool UiProgram::readBinary(const std::string& section, const std::string& value,
                           std::vector<std::uint8_t>& data) const {
    return RegistryKey::openForRead(HKEY_CURRENT_USER, settingsPath(section))
        .readBinary(value, data);
}

void UiProgram::setEnvironment(const std::string& variable, const std::string& value) {
    environment_.emplace_back(variable, value);
}

bool UiProgram::start(const std::string& arguments, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    if (running()) {
        *why = "already started";
        return false;
    }
    if (process_) {  // an earlier run that has ended: this is a restart
        CloseHandle(process_);
        process_ = nullptr;
        window_ = nullptr;
    }
    if (GetFileAttributesA(copyPath_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *why = "no copy of the program at " + copyPath_ + " (built program: " + builtProgramPath() +
               ")";
        return false;
    }
    std::string commandLine = "\"" + copyPath_ + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> environment = environmentBlock(environment_);
    if (!CreateProcessA(copyPath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        environment.empty() ? nullptr : environment.data(), folder_.c_str(),
                        &startup, &info)) {
        *why = "CreateProcessA failed with error " + std::to_string(GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;

    // The main window is the dialog captioned "Veltrane" that holds the position slider; a
    // message box has the same caption but no slider.
    bool found = waitUntil(
        [&] {
            for (HWND candidate : topLevelWindowsOf(processId_)) {
                if (caption(candidate) == kMainCaption &&
                    GetDlgItem(candidate, IDC_POSITION_SLIDER) != nullptr) {
                    window_ = candidate;
                    return true;
                }
            }
            return !running();
        },
        std::chrono::seconds(30));
    if (!found || !window_) {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        *why = running() ? "no main window within 30 s"
                         : "the program ended with exit code " + std::to_string(code) +
                               " before showing its main window";
        return false;
    }
    // Its start-up is over once its message loop handles what is posted to it.
    if (!settle()) {
        *why = "the main window does not answer";
        return false;
    }
    return true;
}

bool UiProgram::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::uint64_t UiProgram::residentBytes() const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!process_ || !GetProcessMemoryInfo(process_, &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
}

HWND UiProgram::tray() const {
    for (HWND candidate : topLevelWindowsOf(processId_)) {
        if (className(candidate) == kTrayClass) return candidate;
    }
    return nullptr;
}

bool UiProgram::post(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(target, message, wParam, lParam) && settle();
}

bool UiProgram::command(int id) { return post(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

bool UiProgram::click(int buttonId) {
    HWND button = control(buttonId);
    return button && post(button, BM_CLICK, 0, 0);
}

bool UiProgram::dragSlider(long position) {
    HWND slider = control(IDC_POSITION_SLIDER);
    if (!slider || !sendWithLimit(slider, TBM_SETPOS, TRUE, position, nullptr)) return false;
    return post(window_, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                reinterpret_cast<LPARAM>(slider));
}

// Posted messages of one thread are handled in the order they were posted, but a sent message
// overtakes them all: a sent "harmless" message alone may be answered before what was posted.
// So a marker is posted to the slider (its page size) behind everything else, and the program
// has handled all that came before once the marker shows; the page size is then put back.
bool UiProgram::roundTrip() {
    HWND slider = control(IDC_POSITION_SLIDER);
    if (!slider) return false;
    DWORD_PTR original = 0;
    if (!sendWithLimit(slider, TBM_GETPAGESIZE, 0, 0, &original)) return false;
    const DWORD_PTR marker = original == 7919 ? 7907 : 7919;
    if (!PostMessageA(slider, TBM_SETPAGESIZE, 0, static_cast<LPARAM>(marker))) return false;
    bool seen = waitUntil(
        [&] {
            DWORD_PTR now = 0;
            return sendWithLimit(slider, TBM_GETPAGESIZE, 0, 0, &now) && now == marker;
        },
        std::chrono::seconds(10));
    sendWithLimit(slider, TBM_SETPAGESIZE, 0, static_cast<LPARAM>(original), nullptr);
    return seen;
}

// A window disabled with no dialog shown is still busy: an export or import runs under its
// progress dialog, which shows itself only after a while. What it does at its end is awaited
// with one more round trip.
bool UiProgram::settle() {
    if (!roundTrip()) return false;
    auto idleOrAsking = [&] { return IsWindowEnabled(window_) || !shownBoxes().empty(); };
    if (idleOrAsking()) return true;
    return waitUntil(idleOrAsking, std::chrono::seconds(30)) && roundTrip();
}

std::string UiProgram::text(int id) const { return windowText(control(id), id); }

long UiProgram::sliderMax() const {
    DWORD_PTR value = 0;
    if (!sendWithLimit(control(IDC_POSITION_SLIDER), TBM_GETRANGEMAX, 0, 0, &value)) return -1;
    return static_cast<long>(static_cast<LRESULT>(value));
}

long UiProgram::sliderPosition() const {
    DWORD_PTR value = 0;
    if (!sendWithLimit(control(IDC_POSITION_SLIDER), TBM_GETPOS, 0, 0, &value)) return -1;
    return static_cast<long>(static_cast<LRESULT>(value));
}

bool UiProgram::topmost() const {
    return (GetWindowLongA(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

RECT UiProgram::rect() const {
    RECT r = {};
    GetWindowRect(window_, &r);
    return r;
}

LRESULT UiProgram::menuItemState(int id) const {
    static const UINT message = RegisterWindowMessageA(kMenuItemStateMessage);
    DWORD_PTR answer = 0;
    if (message == 0 || !sendWithLimit(window_, message, static_cast<WPARAM>(id), 0, &answer)) {
        return kNoAnswer;
    }
    return static_cast<LRESULT>(answer);
}

std::vector<std::string> UiProgram::shownBoxes() const {
    std::vector<std::string> captions;
    for (HWND candidate : topLevelWindowsOf(processId_)) {
        if (candidate != window_ && IsWindowVisible(candidate) &&
            className(candidate) == "#32770") {
            captions.push_back(caption(candidate));
        }
    }
    return captions;
}

UiDialog UiProgram::dialog(const std::string& wanted, std::chrono::milliseconds limit) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND candidate : topLevelWindowsOf(processId_)) {
                if (candidate != window_ && IsWindowVisible(candidate) &&
                    className(candidate) == kDialogClass && caption(candidate) == wanted) {
                    found = candidate;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found ? UiDialog(*this, found) : UiDialog();
}

UiDialog UiProgram::fileDialog(std::chrono::milliseconds limit) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND candidate : topLevelWindowsOf(processId_)) {
                if (IsWindowVisible(candidate) && className(candidate) == kDialogClass &&
                    GetDlgItem(candidate, kFileNameBox) != nullptr) {
                    found = candidate;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found ? UiDialog(*this, found) : UiDialog();
}

bool UiProgram::close(std::chrono::milliseconds limit, DWORD* exitCode) {
    if (running() && window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    return waitForExit(limit, exitCode);
}

bool UiProgram::waitForExit(std::chrono::milliseconds limit, DWORD* exitCode) {
    if (!process_) return false;
    if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
        return false;
    }
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}

std::vector<std::string> UiProgram::valueNames(const std::string& section) const {
    return RegistryKey::openForRead(HKEY_CURRENT_USER, settingsPath(section)).valueNames();
}

bool UiProgram::kill() {
    if (!process_) return false;
    const bool ended =
        TerminateProcess(process_, 99) && WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0;
    CloseHandle(process_);
    process_ = nullptr;
    window_ = nullptr;
    return ended;
}

// Every run ends here: closed as a user would, or, when that fails, terminated.
// A test that leaves an unsaved recording gets the program's question at the close: No, as a
// user done with it would answer.
void UiProgram::end() {
    if (!process_) return;
    if (running()) {
        bool ended = false;
        if (window_) {
            PostMessageA(window_, WM_CLOSE, 0, 0);
            ended = waitUntil(
                [&] {
                    if (UiDialog question = dialog("Veltrane", std::chrono::milliseconds(0))) {
                        question.click(IDNO);
                    }
                    return !running();
                },
                std::chrono::seconds(5));
        }
        if (!ended) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
    }
    CloseHandle(process_);
    process_ = nullptr;
}

// ---- UiDialog

std::string UiDialog::caption() const { return ::caption(window_); }

std::string UiDialog::text(int id) const { return windowText(control(id), id); }

bool UiDialog::setText(int id, const std::string& text) {
    HWND item = control(id);
    return item &&
           sendWithLimit(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), nullptr) &&
           program_->settle();
}

bool UiDialog::checked(int id) const {
    DWORD_PTR state = 0;
    return sendWithLimit(control(id), BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
}

bool UiDialog::click(int id) {
    HWND item = control(id);
    if (!item || !IsWindowVisible(item) || !IsWindowEnabled(item)) return false;
    return program_->post(item, BM_CLICK, 0, 0);
}

int UiDialog::selection(int listId) const {
    DWORD_PTR index = 0;
    if (!sendWithLimit(control(listId), CB_GETCURSEL, 0, 0, &index)) return -2;
    return static_cast<int>(static_cast<LRESULT>(index));
}

std::string UiDialog::selectedText(int listId) const {
    int index = selection(listId);
    return index >= 0 ? listEntry(control(listId), index) : std::string();
}

std::vector<std::string> UiDialog::entries(int listId) const {
    std::vector<std::string> texts;
    DWORD_PTR count = 0;
    if (!sendWithLimit(control(listId), CB_GETCOUNT, 0, 0, &count)) return texts;
    for (int index = 0; index < static_cast<int>(static_cast<LRESULT>(count)); ++index) {
        texts.push_back(listEntry(control(listId), index));
    }
    return texts;
}

bool UiDialog::choose(int listId, int index) {
    HWND list = control(listId);
    DWORD_PTR selected = 0;
    if (!list || !IsWindowEnabled(list) ||
        !sendWithLimit(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &selected) ||
        static_cast<int>(static_cast<LRESULT>(selected)) != index) {
        return false;
    }
    return program_->post(window_, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(list));
}

bool UiDialog::typeFileName(const std::string& path) {
    HWND box = control(kFileNameBox);
    if (!box) return false;
    HWND edit = nullptr;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            if (className(child) != "Edit") return TRUE;
            *reinterpret_cast<HWND*>(data) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
    if (!edit) return false;
    return sendWithLimit(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), nullptr) &&
           program_->settle();
}

int UiProgram::listRows(int id) const {
    DWORD_PTR value = 0;
    if (!sendWithLimit(control(id), LVM_GETITEMCOUNT, 0, 0, &value)) return -1;
    return static_cast<int>(static_cast<LRESULT>(value));
}

int UiProgram::listSelection(int id) const {
    DWORD_PTR value = 0;
    if (!sendWithLimit(control(id), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED,
                       &value))
        return -2;
    return static_cast<int>(static_cast<LRESULT>(value));
}

namespace {

// Memory in another process, freed when done.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, std::size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteMemory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    char* address() const { return static_cast<char*>(address_); }

private:
    HANDLE process_;
    void* address_;
};

}  // namespace

std::string UiProgram::listText(int id, int row, int column) const {
    constexpr std::size_t kTextRoom = 1024;
    RemoteMemory memory(process_, sizeof(LVITEMA) + kTextRoom);
    if (!memory.address()) return "<no memory>";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = memory.address() + sizeof(LVITEMA);
    item.cchTextMax = kTextRoom;
    if (!WriteProcessMemory(process_, memory.address(), &item, sizeof item, nullptr))
        return "<not written>";
    DWORD_PTR length = 0;
    if (!sendWithLimit(control(id), LVM_GETITEMTEXTA, row,
                       reinterpret_cast<LPARAM>(memory.address()), &length))
        return "<no answer>";
    std::string text(kTextRoom, '\0');
    if (!ReadProcessMemory(process_, item.pszText, text.data(), kTextRoom, nullptr))
        return "<not read>";
    text.resize(std::min<std::size_t>(length, kTextRoom));
    return text;
}

bool UiProgram::doubleClickListRow(int id, int row) {
    HWND list = control(id);
    RemoteMemory memory(process_, sizeof(RECT));
    if (!list || !memory.address()) return false;
    RECT rect = {};
    rect.left = LVIR_LABEL;
    if (!WriteProcessMemory(process_, memory.address(), &rect, sizeof rect, nullptr)) return false;
    DWORD_PTR found = 0;
    if (!sendWithLimit(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(memory.address()),
                       &found) ||
        found == 0 || !ReadProcessMemory(process_, memory.address(), &rect, sizeof rect, nullptr))
        return false;
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return post(list, WM_LBUTTONDOWN, MK_LBUTTON, at) && post(list, WM_LBUTTONUP, 0, at) &&
           post(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at) && post(list, WM_LBUTTONUP, 0, at) &&
           roundTrip();
}
