#include <windows.h>

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
    if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
        *why = "cannot start " + path + ": error " + std::to_string(GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    impl_->process = info.hProcess;
    return true;
}

bool ChildProcess::interrupt() { return false; }

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
