#include "app/MainDialog.h"

#include <shellapi.h>

#include <vector>

#include "app/AppMessages.h"
#include "app/ScreenPlacement.h"
#include "app/WindowPosition.h"
#include "app/WorkingFileClaims.h"
#include "engine/DeviceSettings.h"
#include "engine/Profile.h"
#include "res/resource.h"
#include "win32/Application.h"

namespace {

constexpr UINT_PTR kShowDelayTimer = 100;
constexpr UINT_PTR kRefreshTimer = 101;
constexpr UINT kShowDelayMs = 500;
constexpr UINT kRefreshMs = 100;

// The product's web page, opened by the Help menu.
constexpr const char* kWebsiteAddress = "https://veltrane.example/";

// A fresh file in the user's temporary folder; "veltrane.dat" here only when there is none.
std::string makeWorkingFilePath() {
    char folder[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length > 0 && length < MAX_PATH && GetTempFileNameA(folder, "vel", 0, path) != 0) {
        return path;
    }
    return "veltrane.dat";
}

}  // namespace

MainDialog::MainDialog(Profile& profile)
    : Dialog(IDD_MAIN_DIALOG, nullptr),
      profile_(profile),
      debugTrace_(systemTraceSink()),
      workingFilePath_(makeWorkingFilePath()),
      state_(*this),
      runner_(state_, debugTrace_) {
    icon_ = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM));
    deviceSettings_ = loadDeviceSettings(profile);
    devicePort_ = loadDevicePort(profile);
    reconnect_ = loadReconnect(profile);
    answersConversations_ = profile.readInt("Window", "ConversationPlay", 0) == 0;
    answersWithModbus_ = profile.readInt("Window", "ModbusDevice", 1) != 0;
    menuItemStateMessage_ = RegisterWindowMessageA(kMenuItemStateMessageName);
}

MainDialog::~MainDialog() {
    runner_.stopAndWait();
    DeleteFileA(workingFilePath_.c_str());
}

bool MainDialog::onInitDialog() {
    statusLine_.attach(item(IDC_STATUS_LINE));
    activityMeter_.attach(item(IDC_ACTIVITY_METER));
    timeDisplay_.attach(item(IDC_TIME_DISPLAY));
    slider_.attach(item(IDC_POSITION_SLIDER));
    stopButton_.attach(item(IDC_STOP_BUTTON));
    rewindButton_.attach(item(IDC_REWIND_BUTTON));
    playButton_.attach(item(IDC_PLAY_BUTTON));
    pauseButton_.attach(item(IDC_PAUSE_BUTTON));
    forwardButton_.attach(item(IDC_FORWARD_BUTTON));
    recordButton_.attach(item(IDC_RECORD_BUTTON));
    initDataView();  // before the place is restored: the view's size is part of it
    errors_.setOwner(handle());
    if (Application* application = Application::current()) application->setMainWindow(handle());

    restoreWindowPosition();
    if (profile_.readInt("Window", "AlwaysOnTop", 0) == 1) onAlwaysOnTop();
    if (profile_.readInt("Window", "WindowState", 0) != 1) showAllowed_ = true;
    SetTimer(handle(), kShowDelayTimer, kShowDelayMs, nullptr);
    initialised_ = true;
    recentFiles_.load(profile_);
    showRecentFiles();

    SendMessageA(handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const std::pair<Button*, int> buttonIcons[] = {
        {&recordButton_, IDI_RECORD}, {&pauseButton_, IDI_PAUSE},   {&playButton_, IDI_PLAY},
        {&stopButton_, IDI_STOP},     {&rewindButton_, IDI_REWIND}, {&forwardButton_, IDI_FORWARD}};
    for (const auto& [button, iconId] : buttonIcons) {
        button->setIcon(LoadIconA(instance, MAKEINTRESOURCEA(iconId)));
    }
    setTransportButtons(TransportMode::Stopped);

    state_.activityLevel.store(0);
    activityMeter_.setRange(0, 100);
    SetTimer(handle(), kRefreshTimer, kRefreshMs, nullptr);
    tray_.createTrayIcon(IDI_PROGRAM, handle());
    if (!offerLeftBehindRecordings()) return false;  // closed while it asked
    openFileFromCommandLine();
    return true;
}

// Only the place is restored: the window has no sizing border, so it keeps its own size.
// A place that lies on no monitor any more is moved onto the nearest one.
void MainDialog::restoreWindowPosition() {
    std::vector<std::uint8_t> stored;
    if (!profile_.readBinary("Window", "Position", stored)) return;
    const std::optional<WindowPosition> position = decodeWindowPosition(stored);
    if (!position) return;
    RECT rect;
    GetWindowRect(handle(), &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (GetWindowLongA(handle(), GWL_STYLE) & WS_THICKFRAME) {
        width = position->width;
        height = position->height;
    }
    ScreenRect place = rectAt(position->left, position->top, width, height);
    RECT wanted = {place.left, place.top, place.right, place.bottom};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        place = keepOnWorkArea(place, {work.left, work.top, work.right, work.bottom});
    }
    MoveWindow(handle(), place.left, place.top, place.right - place.left, place.bottom - place.top,
               TRUE);
}

bool MainDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_PAINT:
            return onPaint();
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(icon_);
            return true;
        case WM_SYSCOMMAND:
            if (wParam != SC_MINIMIZE) return false;
            ShowWindow(handle(), SW_HIDE);  // reached again through the tray icon
            return true;
        case WM_WINDOWPOSCHANGING:
            if (!showAllowed_) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
            return false;
        case WM_TIMER:
            if (wParam == kShowDelayTimer) {
                onShowDelayOver();
                return true;
            }
            refreshTick();
            return false;
        case WM_SIZE:
            layoutDataView();
            return false;
        case WM_GETMINMAXINFO:
            limitDataViewSize(*reinterpret_cast<MINMAXINFO*>(lParam));
            return true;
        case WM_NOTIFY:
            return onDataViewNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_HSCROLL:
            onSliderScroll(reinterpret_cast<HWND>(lParam));
            return false;
        case WM_MENUSELECT:
            onMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
            return false;
        case WM_HELP:
            onHelp();
            result = TRUE;
            return true;
        case DM_GETDEFID:
            result = MAKELRESULT(0, DC_HASDEFID);  // no default button: Enter activates nothing
            return true;
        case WM_CLOSE:
            onClose();
            return initialised_;
        case WM_QUERYENDSESSION:
            result = onQueryEndSession() ? TRUE : FALSE;
            return true;
        case WM_ENDSESSION:
            onEndSession(wParam != FALSE);
            return true;
        case WM_DESTROY:
            onDestroy();
            return false;
        case WM_NCDESTROY:
            DeleteFileA(workingFilePath_.c_str());
            return false;
        case kWorkerStateMessage:
            onWorkerState(static_cast<WorkerEvent>(static_cast<int>(wParam)),
                          static_cast<std::uint32_t>(lParam));
            return true;
        default:
            if (message == menuItemStateMessage_ && message != 0) {
                result = menuItemState(static_cast<UINT>(wParam));
                return true;
            }
            return false;
    }
}

void MainDialog::onCancel() {
    if (!initialised_) Dialog::onCancel();  // Escape never closes the running window
}

bool MainDialog::onPaint() {
    if (!IsIconic(handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle(), &paint);
    SendMessageA(handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(handle(), &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(handle(), &paint);
    return true;
}

void MainDialog::onShowDelayOver() {
    KillTimer(handle(), kShowDelayTimer);
    showAllowed_ = true;
}

// File > Exit, the tray's Exit and the close box all come here.
// A close that would ask about the recording while a dialog of ours is up (the tray's Exit, a
// close from outside) waits for that dialog instead: the question would open over a dialog that
// waits for its own answer. A running conversion is the exception: leaving cancels it.
void MainDialog::onClose() {
    if (initialised_ && !IsWindowEnabled(handle()) && conversion_ == nullptr &&
        holdsUnsavedRecording()) {
        showWaitingDialog(handle());
        return;
    }
    if (initialised_ && !askToSaveRecording()) return;
    int windowState = 0;
    if (IsZoomed(handle())) windowState = 2;
    if (IsIconic(handle()) || !IsWindowVisible(handle())) windowState = 1;
    profile_.writeInt("Window", "WindowState", windowState);
    if (initialised_) DestroyWindow(handle());
}

void MainDialog::onDestroy() {
    // A worker or a conversion still running uses this window's state and may write the working
    // file: stop it and wait for its end first (a cancelled conversion removes what it wrote).
    runner_.stopAndWait();
    stopConversion();

    RECT rect;
    GetWindowRect(handle(), &rect);
    if (!IsZoomed(handle()) && !IsIconic(handle()) && !IsRectEmpty(&rect)) {
        const WindowPosition position{rect.left, rect.top, rect.right - rect.left,
                                      rect.bottom - rect.top};
        profile_.writeBinary("Window", "Position", encodeWindowPosition(position));
    }
    profile_.writeInt("Window", "AlwaysOnTop", isTopmost() ? 1 : 0);
    profile_.writeInt("Window", "DataView", dataViewShown_ ? 1 : 0);
    closeDataView();
    recentFiles_.store(profile_);
    DeleteFileA(workingFilePath_.c_str());
    releaseWorkingFile(profile_, workingFilePath_);  // a clean end leaves nothing to recover
}

bool MainDialog::isTopmost() const {
    return (GetWindowLongA(handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void MainDialog::onAlwaysOnTop() {
    SetWindowPos(handle(), isTopmost() ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

// The manual is an HTML page beside the program.
void MainDialog::onHelp() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string manual(path, length);
    auto slash = manual.find_last_of("\\/");
    manual = (slash == std::string::npos ? std::string() : manual.substr(0, slash + 1)) +
             "Veltrane.html";
    ShellExecuteA(handle(), "open", manual.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void MainDialog::onWebsite() {
    ShellExecuteA(handle(), "OPEN", kWebsiteAddress, nullptr, nullptr, SW_SHOWDEFAULT);
}
