// The modal loop: the owner is disabled while the dialog runs and enabled again before the
// dialog hides, so that hiding hands the activation back to the owner.
#include "win32/Dialog.h"

#include <gtest/gtest.h>

#include "win32/tests/TestResources.h"

namespace {

// A top-level window in the role of the dialog's owner. It notes, when it is enabled again,
// whether the dialog was still shown at that moment.
class Owner {
public:
    Owner() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DialogTestOwner";
        RegisterClassA(&windowClass);  // fails harmlessly when already registered
        window_ = CreateWindowExA(0, windowClass.lpszClassName, "Owner", WS_OVERLAPPEDWINDOW, 10,
                                  10, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(window_, SW_SHOWNORMAL);
    }
    ~Owner() { DestroyWindow(window_); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    HWND handle() const { return window_; }

    HWND dialog = nullptr;
    int timesEnabled = 0;
    bool dialogShownWhenEnabled = false;

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
        auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (owner != nullptr && message == WM_ENABLE && wParam == TRUE) {
            ++owner->timesEnabled;
            owner->dialogShownWhenEnabled = IsWindowVisible(owner->dialog) != FALSE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

// Once its loop first runs idle (it is shown by then) it notes what it sees and ends with 42.
class IdleDialog : public Dialog {
public:
    explicit IdleDialog(Owner& owner) : Dialog(IDD_TEST_DIALOG, owner.handle()), owner_(owner) {}

    bool shownWhileRunning = false;
    bool ownerEnabledWhileRunning = true;

protected:
    bool onInitDialog() override {
        owner_.dialog = handle();
        return true;
    }
    LRESULT onKickIdle(LONG) override {
        shownWhileRunning = IsWindowVisible(handle()) != FALSE;
        ownerEnabledWhileRunning = IsWindowEnabled(owner_.handle()) != FALSE;
        endDialog(42);
        return 0;
    }

private:
    Owner& owner_;
};

}  // namespace

TEST(ModalDialog, OwnerIsEnabledAgainBeforeTheDialogHides) {
    Owner owner;
    IdleDialog dialog(owner);
    EXPECT_EQ(dialog.doModal(), 42);
    EXPECT_TRUE(dialog.shownWhileRunning);
    EXPECT_FALSE(dialog.ownerEnabledWhileRunning);
    EXPECT_EQ(owner.timesEnabled, 1);
    EXPECT_TRUE(owner.dialogShownWhenEnabled) << "the dialog hid while its owner was disabled";
    EXPECT_TRUE(IsWindowEnabled(owner.handle()));
}
