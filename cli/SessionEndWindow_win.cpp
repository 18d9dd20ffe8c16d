#include <windows.h>

#include <cstring>
#include <future>
#include <thread>

#include "cli/SessionEndWindow.h"

namespace {

constexpr const wchar_t* kClassName = L"VeltraneCliSessionEnd";

class OwnedWindow {
public:
    explicit OwnedWindow(HWND window) : window_(window) {}
    ~OwnedWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

using SessionEndHandler = void (*)();

LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
            break;
        }
        case WM_QUERYENDSESSION:
            // Another program may still refuse the end: only WM_ENDSESSION says it happens.
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                const auto onSessionEnd =
                    reinterpret_cast<SessionEndHandler>(GetWindowLongPtrW(window, GWLP_USERDATA));
                if (onSessionEnd != nullptr) onSessionEnd();
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Wine makes windows through a driver for the host's display: without an X display to open,
// a window cannot be made, and trying says so on standard error whatever the program does
// with the failure. Windows, and Wine on macOS, can always make one.
bool hostCanMakeWindows() {
    using HostVersion = void(CDECL*)(const char** system, const char** release);
    const auto hostVersion = reinterpret_cast<HostVersion>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_host_version")));
    if (hostVersion == nullptr) return true;  // not Wine
    const char* system = nullptr;
    const char* release = nullptr;
    hostVersion(&system, &release);
    if (system != nullptr && std::strcmp(system, "Darwin") == 0) return true;
    char display[2];
    return GetEnvironmentVariableA("DISPLAY", display, sizeof display) > 0;
}

// Registered once for the process, on first use; later watches find it there.
bool classRegistered() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = onMessage;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered;
}

}  // namespace

struct SessionEndWindow::Impl {
    // The window thread's id once its window exists, 0 where none could be made.
    std::promise<DWORD> windowThread;
    DWORD windowThreadId = 0;
    std::thread thread;
};

// The window's thread does nothing but answer it, so the system's questions are answered at
// once whatever the command is doing. Top-level and hidden: a message-only window gets no
// broadcasts.
SessionEndWindow::SessionEndWindow(void (*onSessionEnd)()) : impl_(std::make_unique<Impl>()) {
    if (!hostCanMakeWindows()) return;
    impl_->thread = std::thread([impl = impl_.get(), onSessionEnd] {
        if (!classRegistered()) {
            impl->windowThread.set_value(0);
            return;
        }
        const OwnedWindow window(CreateWindowExW(0, kClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                                 nullptr, nullptr, GetModuleHandleW(nullptr),
                                                 reinterpret_cast<void*>(onSessionEnd)));
        // The thread has its message queue now: a WM_QUIT posted from here on is not lost.
        impl->windowThread.set_value(window.get() != nullptr ? GetCurrentThreadId() : 0);
        if (window.get() == nullptr) return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    });
    // A session that ends once the command has begun must find the window there.
    impl_->windowThreadId = impl_->windowThread.get_future().get();
}

SessionEndWindow::~SessionEndWindow() {
    if (impl_->windowThreadId != 0) PostThreadMessageW(impl_->windowThreadId, WM_QUIT, 0, 0);
    if (impl_->thread.joinable()) impl_->thread.join();
}
