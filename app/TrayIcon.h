#pragma once

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>

// The program's icon in the notification area, owned by a hidden window of class
// "SysTray_Class". Double-click and the popup menu hide and show the owner window; the menu's
// other commands (About, Exit) are passed to the owner, About only while no dialog of the
// owner's is up.
class TrayIcon {
public:
    static constexpr UINT kIconId = 10000;
    static constexpr UINT kCallbackMessage = WM_USER + 1;

    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Creates the hidden window and adds the icon; false when the window cannot be created.
    bool createTrayIcon(UINT iconResourceId, HWND owner);

    // The first 63 characters of a title, the most a tip holds.
    static std::string tipFromTitle(const std::string& title);

    // The record that adds the icon of `window`: its icon and callback message, and a tip made
    // from `title` when there is one. Its size is the first form of the record, which every
    // shell takes.
    static NOTIFYICONDATAA addRecord(HWND window, HICON icon,
                                     const std::optional<std::string>& title);

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void addIcon();
    void onTrayNotification(UINT mouseMessage);
    void showPopupMenu();
    void toggleOwnerWindow();
    HWND ownerWindow() const;

    HWND window_ = nullptr;
    HWND owner_ = nullptr;
    UINT iconResourceId_ = 0;
    HICON trayIconHandle_ = nullptr;
};
