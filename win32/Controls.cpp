#include "win32/Controls.h"

std::string Control::text() const {
    int length = GetWindowTextLengthA(window_);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

// A trackbar without TBS_AUTOTICKS keeps only the ticks it is given, so a range of any length
// costs no more than these few.
void Trackbar::setTicks(const std::vector<int>& positions) const {
    SendMessageA(window_, TBM_CLEARTICS, FALSE, 0);
    for (int position : positions) SendMessageA(window_, TBM_SETTIC, 0, position);
    InvalidateRect(window_, nullptr, TRUE);
}

std::string ComboBox::itemText(int index) const {
    LRESULT length = SendMessageA(window_, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT copied =
        SendMessageA(window_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

void ListView::addColumn(int index, const char* title, int width, int format) const {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(title);
    SendMessageA(window_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

// The list counts in ints: a file with more rows shows the first INT_MAX of them.
void ListView::setItemCount(std::uint64_t count) const {
    const std::uint64_t limit = 0x7FFFFFFF;
    SendMessageA(window_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count < limit ? count : limit),
                 LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void ListView::selectOnly(int row) const {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageA(window_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(window_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}
