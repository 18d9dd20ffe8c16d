#pragma once

#include <windows.h>
// after windows.h, whose types it uses
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

// One-line wrappers over the messages of the controls the program uses.

class Control {
public:
    Control() = default;
    explicit Control(HWND window) : window_(window) {}
    void attach(HWND window) { window_ = window; }
    HWND handle() const { return window_; }
    void enable(bool enabled) const { EnableWindow(window_, enabled ? TRUE : FALSE); }
    bool isEnabled() const { return IsWindowEnabled(window_) != FALSE; }
    void setText(const std::string& text) const { SetWindowTextA(window_, text.c_str()); }
    std::string text() const;

protected:
    HWND window_ = nullptr;
};

class Trackbar : public Control {
public:
    void setRange(int minimum, int maximum, bool redraw) const {
        SendMessageA(window_, TBM_SETRANGEMIN, FALSE, minimum);
        SendMessageA(window_, TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
    }
    // Replaces the ticks between the two ends, which the trackbar draws itself; after the range,
    // which a tick must lie within.
    void setTicks(const std::vector<int>& positions) const;
    void setPosition(int position, bool redraw) const {
        SendMessageA(window_, TBM_SETPOS, redraw ? TRUE : FALSE, position);
    }
    int position() const { return static_cast<int>(SendMessageA(window_, TBM_GETPOS, 0, 0)); }
    int rangeMaximum() const {
        return static_cast<int>(SendMessageA(window_, TBM_GETRANGEMAX, 0, 0));
    }
};

// A report list whose rows the owner supplies on demand (LVS_OWNERDATA): it keeps no row.
class ListView : public Control {
public:
    void addColumn(int index, const char* title, int width, int format = LVCFMT_LEFT) const;
    void setItemCount(std::uint64_t count) const;
    void selectOnly(int row) const;
    void ensureVisible(int row) const { SendMessageA(window_, LVM_ENSUREVISIBLE, row, FALSE); }
};

class ProgressBar : public Control {
public:
    void setRange(int minimum, int maximum) const {
        SendMessageA(window_, PBM_SETRANGE32, minimum, maximum);
    }
    void setPosition(int position) const { SendMessageA(window_, PBM_SETPOS, position, 0); }
};

class Button : public Control {
public:
    void setIcon(HICON icon) const {
        SendMessageA(window_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    }
    bool isChecked() const { return SendMessageA(window_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void setCheck(bool checked) const {
        SendMessageA(window_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
};

class Static : public Control {};

class Edit : public Control {
public:
    void setLimit(int characters) const { SendMessageA(window_, EM_LIMITTEXT, characters, 0); }
};

class ComboBox : public Control {
public:
    int addString(const std::string& text) const {
        return static_cast<int>(
            SendMessageA(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int findExact(const std::string& text) const {
        return static_cast<int>(SendMessageA(window_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(text.c_str())));
    }
    int selection() const { return static_cast<int>(SendMessageA(window_, CB_GETCURSEL, 0, 0)); }
    void select(int index) const { SendMessageA(window_, CB_SETCURSEL, index, 0); }
    int count() const { return static_cast<int>(SendMessageA(window_, CB_GETCOUNT, 0, 0)); }
    std::string itemText(int index) const;
};
