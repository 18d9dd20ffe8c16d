#include <windows.h>

#include <vector>

#include "tests/support/ChildProcess.h"

namespace {

// The build hands the tests host paths; under Wine the host's files are on drive Z:.
std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string converted = "Z:" + path;
    for (char& c : converted) {
        if (c == '/') c = '\\';
    }
    return converted;
}

HANDLE inheritableFile(const std::string& path, bool forWriting) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (valid()) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Windows waits this long at most for a window's answer before it ends the session anyway.
constexpr UINT kAnswerLimitMs = 20000;

struct WindowsOfProcess {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM found) {
    auto& windowsOf = *reinterpret_cast<WindowsOfProcess*>(found);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == windowsOf.process) windowsOf.windows.push_back(window);
    return TRUE;
}

// As the system logs a user off: every top-level window is asked first, then told.
void tellWindowsOfLogOff(DWORD process) {
    WindowsOfProcess windowsOf{process, {}};
    EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&windowsOf));
    DWORD_PTR answer = 0;
    for (HWND window : windowsOf.windows) {
        SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                            kAnswerLimitMs, &answer);
    }
    for (HWND window : windowsOf.windows) {
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                            kAnswerLimitMs, &answer);
    }
}

}  // namespace

struct ChildProcess::Impl {
    HANDLE process = nullptr;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    if (impl_->process != nullptr) {
        TerminateProcess(impl_->process, 1);
        WaitForSingleObject(impl_->process, INFINITE);
        CloseHandle(impl_->process);
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& outputPath, const std::string& errorPath,
                         std::string* why) {
    const std::string path = windowsPath(program);
    // The tests' words hold no quotes: quoting each one is enough.
    std::string commandLine = "\"" + path + "\"";
    for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";

    OwnedHandle input(inheritableFile("NUL", false));
    OwnedHandle output(inheritableFile(outputPath, true));
    OwnedHandle error(inheritableFile(errorPath, true));
    if (!output.valid() || !error.valid()) {
        *why = "cannot create the child's output files";
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    PROCESS_INFORMATION info{};
    // A console of its own, without a window, and a process group of its own: the test can then
    // send it Ctrl+C without reaching itself or the other programs on its own console.
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &info)) {
        *why = "cannot start " + path + ": error " + std::to_string(GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    impl_->process = info.hProcess;
    return true;
}

// Ctrl+C reaches only the processes of one console: this process visits the child's for the
// moment it takes, ignoring the event itself. Windows sends Ctrl+C to the whole console (group
// 0); Wine sends it only to the group named, so both are asked.
bool ChildProcess::interrupt() {
    if (impl_->process == nullptr) return false;
    const DWORD child = GetProcessId(impl_->process);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    bool sent = false;
    if (AttachConsole(child)) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        const bool toConsole = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
        const bool toGroup = GenerateConsoleCtrlEvent(CTRL_C_EVENT, child) != 0;
        sent = toConsole || toGroup;
        FreeConsole();
    }
    // Back on the console it was started from, where there is one; attaching may have pointed
    // the standard handles at another.
    AttachConsole(ATTACH_PARENT_PROCESS);
    SetStdHandle(STD_INPUT_HANDLE, input);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    SetStdHandle(STD_ERROR_HANDLE, error);
    return sent;
}

// No call generates a close event: the system delivers every console event by starting
// kernel32's CtrlRoutine in the process, and so does this. A log-off goes to the windows alone:
// a program without any is ended at once. Once the handlers or windows have returned it ends
// the process as the system does, with the status Windows gives a closed console's.
bool ChildProcess::endSession(SessionEnd how) {
    if (impl_->process == nullptr) return false;
    if (how == SessionEnd::LogOff) {
        tellWindowsOfLogOff(GetProcessId(impl_->process));
        TerminateProcess(impl_->process, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
        return true;
    }
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    if (routine == nullptr) return false;
    OwnedHandle handlers(CreateRemoteThread(impl_->process, nullptr, 0, routine,
                                            reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr));
    if (!handlers.valid()) return false;
    WaitForSingleObject(handlers.get(), 20000);
    TerminateProcess(impl_->process, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return true;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds limit) {
    if (impl_->process == nullptr) return std::nullopt;
    if (WaitForSingleObject(impl_->process, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD status = 0;
    GetExitCodeProcess(impl_->process, &status);
    CloseHandle(impl_->process);
    impl_->process = nullptr;
    return static_cast<int>(status);
}
