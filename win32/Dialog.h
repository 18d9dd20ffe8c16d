#pragma once

#include <windows.h>

// While a modal dialog keeps `owner` disabled, brings that dialog to the front, as a click on
// the disabled owner would; does nothing when none is up.
void showWaitingDialog(HWND owner);

// WM_KICKIDLE: sent by a modal loop while its queue is empty, lParam the idle count.
inline constexpr UINT kKickIdleMessage = 0x036A;

// A dialog made from a template and run modally by a loop of its own: every message passes the
// application's message filter (accelerators), then IsDialogMessage, then dispatch; while the
// queue is empty the dialog gets WM_KICKIDLE with counts 0, 1, 2, ... until it answers 0.
// Handlers are virtual methods; no exception leaves them into Windows.
class Dialog {
public:
    Dialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog with its owner disabled; returns the value given to endDialog, or -1.
    INT_PTR doModal();
    void endDialog(INT_PTR result);

    HWND handle() const { return window_; }
    HWND item(int id) const { return GetDlgItem(window_, id); }

protected:
    // Return true to let the system set the focus.
    virtual bool onInitDialog() { return true; }
    // Return true when the command was handled.
    virtual bool onCommand(int id, int notifyCode, HWND control);
    virtual void onOK() { endDialog(IDOK); }
    virtual void onCancel() { endDialog(IDCANCEL); }
    // Any other message; return true when handled, with the message's result in `result`.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Idle processing; return nonzero for more idle calls.
    virtual LRESULT onKickIdle(LONG idleCount);
    // False for a dialog that shows itself when it sees fit, not when the queue first runs empty.
    virtual bool showsWhenFirstIdle() const { return true; }

private:
    static INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void centreIfNotMoved(const RECT& before);
    void enableOwner();

    int templateId_;
    HWND owner_;
    HWND disabledOwner_ = nullptr;  // the owner while this dialog's loop keeps it disabled
    HWND window_ = nullptr;
    bool running_ = false;
    INT_PTR result_ = -1;
};
