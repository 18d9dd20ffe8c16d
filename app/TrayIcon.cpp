#include "app/TrayIcon.h"

#include "res/resource.h"
#include "win32/Dialog.h"

namespace {
constexpr const char* kClassName = "SysTray_Class";
constexpr std::size_t kLongestTip = 63;

// The record that names the icon. Its size is the first form's, by which every shell knows the
// record; it depends on the pointer size (104 bytes in this 64-bit build, 88 in a 32-bit one), so
// it is taken from the header and never written as a number.
NOTIFYICONDATAA iconRecord(HWND window) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = TrayIcon::kIconId;
    return data;
}

}  // namespace

std::string TrayIcon::tipFromTitle(const std::string& title) {
    return title.size() > kLongestTip ? title.substr(0, kLongestTip) : title;
}

TrayIcon::~TrayIcon() {
    if (window_ == nullptr) return;
    NOTIFYICONDATAA data = iconRecord(window_);
    Shell_NotifyIconA(NIM_DELETE, &data);
    HWND window = window_;
    window_ = nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    if (trayIconHandle_ != nullptr) DestroyIcon(trayIconHandle_);
}

bool TrayIcon::createTrayIcon(UINT iconResourceId, HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered

    // A hidden 1 x 1 top-level window that is never shown.
    window_ = CreateWindowExA(0, kClassName, "", WS_BORDER, 0, 0, 1, 1, nullptr, nullptr,
                              instance, this);
    if (window_ == nullptr) return false;
    iconResourceId_ = iconResourceId;
    owner_ = owner;
    addIcon();
    return true;
}

void TrayIcon::addIcon() {
    trayIconHandle_ = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr),
                                                    MAKEINTRESOURCEA(iconResourceId_), IMAGE_ICON,
                                                    16, 16, LR_DEFAULTCOLOR));
    std::optional<std::string> title;
    if (HWND owner = ownerWindow()) {
        char text[256] = {};
        GetWindowTextA(owner, text, sizeof text);
        title = text;
    }
    NOTIFYICONDATAA data = addRecord(window_, trayIconHandle_, title);
    Shell_NotifyIconA(NIM_ADD, &data);
}

NOTIFYICONDATAA TrayIcon::addRecord(HWND window, HICON icon,
                                    const std::optional<std::string>& title) {
    NOTIFYICONDATAA data = iconRecord(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = icon;
    if (title) {
        std::string tip = tipFromTitle(*title);
        lstrcpynA(data.szTip, tip.c_str(), sizeof data.szTip);
        data.uFlags |= NIF_TIP;
    }
    return data;
}

HWND TrayIcon::ownerWindow() const {
    if (owner_ != nullptr) return owner_;
    return window_ != nullptr ? GetParent(window_) : nullptr;
}

void TrayIcon::onTrayNotification(UINT mouseMessage) {
    if (mouseMessage == WM_RBUTTONDOWN) {
        showPopupMenu();
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        HWND owner = ownerWindow();
        if (owner == nullptr) return;
        if (IsWindowVisible(owner)) {
            ShowWindow(owner, SW_HIDE);
        } else {
            BringWindowToTop(owner);
            ShowWindow(owner, SW_RESTORE);
        }
    }
}

void TrayIcon::showPopupMenu() {
    POINT cursor;
    GetCursorPos(&cursor);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (menu == nullptr) return;
    if (HMENU popup = GetSubMenu(menu, 0)) {
        if (HWND owner = ownerWindow()) {
            const char* text = IsWindowVisible(owner) ? "Hide Veltrane" : "Show Veltrane";
            ModifyMenuA(popup, ID_TRAY_HIDE_SHOW, MF_BYCOMMAND | MF_STRING, ID_TRAY_HIDE_SHOW,
                        text);
        }
        // The menu closes properly only when its window is in the foreground.
        SetForegroundWindow(window_);
        TrackPopupMenu(popup, TPM_RIGHTALIGN, cursor.x, cursor.y, 0, window_, nullptr);
        PostMessageA(window_, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
}

void TrayIcon::toggleOwnerWindow() {
    HWND owner = ownerWindow();
    if (owner == nullptr) return;
    ShowWindow(owner, IsWindowVisible(owner) ? SW_HIDE : SW_RESTORE);
}

LRESULT TrayIcon::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        if (LOWORD(wParam) == ID_TRAY_HIDE_SHOW) {
            toggleOwnerWindow();
            return 0;
        }
        HWND owner = ownerWindow();
        if (owner == nullptr) return 0;
        // While a dialog of ours is up its owner is disabled: About would open a second dialog
        // over it, inside its modal loop. Exit goes to the owner, which decides what a close
        // does then.
        if (LOWORD(wParam) != ID_APP_EXIT && !IsWindowEnabled(owner)) {
            showWaitingDialog(owner);
            return 0;
        }
        return SendMessageA(owner, WM_COMMAND, wParam, lParam);
    }
    if (message == kCallbackMessage && wParam == kIconId) {
        onTrayNotification(static_cast<UINT>(lParam));
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK TrayIcon::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* tray = reinterpret_cast<TrayIcon*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (tray == nullptr || tray->window_ == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        return tray->onMessage(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}
