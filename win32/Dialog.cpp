#include "win32/Dialog.h"

#include "win32/Application.h"

namespace {

// Messages after which the idle pass need not run again (as a stock framework decides).
bool isIdleMessage(const MSG& message) {
    static POINT lastMouse = {-1, -1};
    static UINT lastMouseMessage = 0;
    if (message.message == WM_PAINT || message.message == 0x0118 /* WM_SYSTIMER */) return false;
    if (message.message == WM_MOUSEMOVE || message.message == WM_NCMOUSEMOVE) {
        if (lastMouseMessage == message.message && lastMouse.x == message.pt.x &&
            lastMouse.y == message.pt.y) {
            return false;
        }
        lastMouse = message.pt;
        lastMouseMessage = message.message;
    }
    return true;
}

// Messages whose dialog-procedure return value is the result itself.
bool returnsResultDirectly(UINT message) {
    return message == WM_QUERYDRAGICON || message == WM_CHARTOITEM ||
           message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_INITDIALOG ||
           (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

}  // namespace

Dialog::~Dialog() {
    if (window_ != nullptr) DestroyWindow(window_);
}

INT_PTR Dialog::doModal() {
    Application* application = Application::current();
    HINSTANCE instance = application ? application->instance() : GetModuleHandleA(nullptr);
    bool ownerWasEnabled = owner_ != nullptr && IsWindowEnabled(owner_);
    disabledOwner_ = nullptr;
    result_ = -1;
    running_ = true;
    window_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId_), owner_,
                                 dialogProcedure, reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) {
        running_ = false;
        return -1;
    }
    if (ownerWasEnabled) {
        EnableWindow(owner_, FALSE);
        disabledOwner_ = owner_;
    }
    // A template without WS_VISIBLE is shown once the queue first runs empty, as the system's
    // modal dialog boxes are, unless the dialog shows itself.
    bool showWhenIdle =
        (GetWindowLongA(window_, GWL_STYLE) & WS_VISIBLE) == 0 && showsWhenFirstIdle();

    bool idle = true;
    LONG idleCount = 0;
    MSG message;
    while (running_) {
        while (idle && running_ && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (showWhenIdle) {
                showWhenIdle = false;
                ShowWindow(window_, SW_SHOWNORMAL);
                UpdateWindow(window_);
                continue;  // showing may have queued messages
            }
            if (SendMessageA(window_, kKickIdleMessage, MSGF_DIALOGBOX, idleCount++) == 0) {
                idle = false;
            }
        }
        do {
            if (!running_) break;
            BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                // WM_QUIT belongs to an outer loop: hand it back.
                if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
                running_ = false;
                break;
            }
            bool filtered = application != nullptr && application->processMessageFilter(message);
            if (!filtered && (window_ == nullptr || !IsDialogMessageA(window_, &message))) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (isIdleMessage(message)) {
                idle = true;
                idleCount = 0;
            }
        } while (running_ && PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    }

    enableOwner();  // when the loop ended other than by endDialog
    if (ownerWasEnabled) SetActiveWindow(owner_);
    if (window_ != nullptr) {
        HWND window = window_;
        window_ = nullptr;
        DestroyWindow(window);
    }
    return result_;
}

// The owner is enabled again before the dialog hides, as the system's own dialogs do: hiding the
// active window activates another, and a still disabled owner would pass that to some other
// program's window.
void Dialog::endDialog(INT_PTR result) {
    result_ = result;
    running_ = false;
    enableOwner();
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void Dialog::enableOwner() {
    if (disabledOwner_ == nullptr) return;
    EnableWindow(disabledOwner_, TRUE);
    disabledOwner_ = nullptr;
}

bool Dialog::onCommand(int id, int, HWND) {
    if (id == IDOK) {
        onOK();
        return true;
    }
    if (id == IDCANCEL) {
        onCancel();
        return true;
    }
    return false;
}

bool Dialog::onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT Dialog::onKickIdle(LONG) { return 0; }

// A dialog that its initialisation did not move is centred over its owner or the screen.
void Dialog::centreIfNotMoved(const RECT& before) {
    RECT now;
    GetWindowRect(window_, &now);
    if (!EqualRect(&before, &now)) return;
    RECT area;
    if (owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_)) {
        GetWindowRect(owner_, &area);
    } else {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
        area = monitor.rcWork;
    }
    int width = now.right - now.left;
    int height = now.bottom - now.top;
    int left = area.left + (area.right - area.left - width) / 2;
    int top = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT before;
            GetWindowRect(window_, &before);
            bool setFocus = onInitDialog();
            centreIfNotMoved(before);
            return setFocus ? TRUE : FALSE;
        }
        case WM_COMMAND:
            return onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))
                       ? TRUE
                       : FALSE;
        case kKickIdleMessage:
            SetWindowLongPtrA(window_, DWLP_MSGRESULT, onKickIdle(static_cast<LONG>(lParam)));
            return TRUE;
        default:
            break;
    }
    LRESULT result = 0;
    if (!onMessage(message, wParam, lParam, result)) return FALSE;
    if (returnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK Dialog::dialogProcedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
        dialog->window_ = window;
    } else {
        dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (dialog == nullptr) return FALSE;
    INT_PTR answer = FALSE;
    try {
        answer = dialog->handle(message, wParam, lParam);
    } catch (...) {
        answer = FALSE;  // never let an exception unwind through the system
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        dialog->window_ = nullptr;
        dialog->running_ = false;  // a destroyed dialog ends its modal loop
    }
    return answer;
}

void showWaitingDialog(HWND owner) {
    HWND waiting = GetLastActivePopup(owner);
    if (waiting != owner && IsWindowVisible(waiting)) SetForegroundWindow(waiting);
}
