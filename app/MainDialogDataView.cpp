// The main window's data view: a list below the transport controls with a row per chunk or
// burst of the current file, read from the file as the list asks for rows; shown and hidden by
// View > Data, following the transport while it shows.
#include <iterator>

#include "app/MainDialog.h"
#include "engine/Profile.h"
#include "res/resource.h"

namespace {

// How much taller the window grows when the view first shows, and the least it keeps for it.
constexpr int kDataViewShownHeight = 240;
constexpr int kDataViewLeastHeight = 60;
constexpr int kDirectionColumn = 1;
constexpr int kDirectionWidth = 70;  // room for its heading
constexpr int kPortWidth = 110;      // room for "2: COM12" and most device names
// A conversation's times count in microseconds, the transport in tenths.
constexpr std::uint64_t kMicrosPerTenth = 100'000;
constexpr std::uint64_t kNoRow = ~std::uint64_t{0};

// The port came last, so the others keep their numbers; it shows after the time.
enum DataColumn {
    kTimeColumn,
    kDirectionTextColumn,
    kLengthColumn,
    kHexColumn,
    kAsciiColumn,
    kPortColumn
};
constexpr int kShownColumnOrder[] = {kTimeColumn,   kPortColumn, kDirectionTextColumn,
                                     kLengthColumn, kHexColumn,  kAsciiColumn};

const std::string& columnText(const DataRow& row, int column) {
    switch (column) {
        case kTimeColumn:
            return row.time;
        case kDirectionTextColumn:
            return row.direction;
        case kLengthColumn:
            return row.length;
        case kHexColumn:
            return row.hex;
        case kPortColumn:
            return row.port;
        default:
            return row.ascii;
    }
}

SIZE windowSizeFor(HWND window, int clientWidth, int clientHeight) {
    RECT rect = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

void MainDialog::initDataView() {
    dataView_.attach(item(IDC_DATA_VIEW));
    RECT client;
    GetClientRect(handle(), &client);
    compactClient_ = {client.right, client.bottom};
    RECT status;
    GetWindowRect(item(IDC_STATUS_LINE), &status);
    MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&status), 2);
    statusLineHeight_ = status.bottom - status.top;
    statusLineBottomGap_ = client.bottom - status.bottom;
    dataViewTop_ = status.top;

    SendMessageA(dataView_.handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    dataView_.addColumn(kTimeColumn, "Time", 90);
    dataView_.addColumn(kDirectionTextColumn, "Direction", 0);
    dataView_.addColumn(kLengthColumn, "Length", 50, LVCFMT_RIGHT);
    dataView_.addColumn(kHexColumn, "Hex", 300);
    dataView_.addColumn(kAsciiColumn, "ASCII", 150);
    dataView_.addColumn(kPortColumn, "Port", 0);
    SendMessageA(dataView_.handle(), LVM_SETCOLUMNORDERARRAY, std::size(kShownColumnOrder),
                 reinterpret_cast<LPARAM>(kShownColumnOrder));
    if (profile_.readInt("Window", "DataView", 0) == 1) showDataView(true);
}

void MainDialog::onViewData() { showDataView(!dataViewShown_); }

// The window has a sizing border only while the view shows; without it, it goes back to the
// size of its template.
void MainDialog::showDataView(bool shown) {
    if (!shown && IsZoomed(handle())) ShowWindow(handle(), SW_RESTORE);
    dataViewShown_ = shown;
    LONG style = GetWindowLongA(handle(), GWL_STYLE);
    const LONG sizing = WS_THICKFRAME | WS_MAXIMIZEBOX;
    SetWindowLongA(handle(), GWL_STYLE, shown ? (style | sizing) : (style & ~sizing));
    RECT client;
    GetClientRect(handle(), &client);
    const int width = shown ? std::max<int>(client.right, compactClient_.cx) : compactClient_.cx;
    const int height = shown
                           ? std::max<int>(client.bottom, compactClient_.cy + kDataViewShownHeight)
                           : compactClient_.cy;
    const SIZE size = windowSizeFor(handle(), width, height);
    SetWindowPos(handle(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ShowWindow(dataView_.handle(), shown ? SW_SHOW : SW_HIDE);
    layoutDataView();
    reloadDataView();
}

// The view takes the room between the transport controls and the status line, which stays at
// the bottom.
void MainDialog::layoutDataView() {
    if (dataView_.handle() == nullptr || IsIconic(handle())) return;
    RECT client;
    GetClientRect(handle(), &client);
    const int statusTop = client.bottom - statusLineBottomGap_ - statusLineHeight_;
    MoveWindow(item(IDC_STATUS_LINE), 0, statusTop, client.right, statusLineHeight_, TRUE);
    if (dataViewShown_) {
        MoveWindow(dataView_.handle(), 0, dataViewTop_, client.right,
                   std::max(0, statusTop - dataViewTop_), TRUE);
    }
}

void MainDialog::limitDataViewSize(MINMAXINFO& limits) const {
    if (!dataViewShown_) return;
    const SIZE least =
        windowSizeFor(handle(), compactClient_.cx, compactClient_.cy + kDataViewLeastHeight);
    limits.ptMinTrackSize = {least.cx, least.cy};
}

void MainDialog::closeDataView() {
    dataModel_.close();
    dataViewRows_ = 0;
    followedRow_ = kNoRow;
    dataView_.setItemCount(0);
}

// A file that will not open (yet) is tried again at the next refresh tick.
void MainDialog::reloadDataView() {
    closeDataView();
    if (!dataViewShown_ || currentFilePath_.empty()) return;
    if (dataModel_.open(currentFilePath_, state_.recording.load()).happened()) return;
    const bool conversation = dataModel_.kind() == DataFileKind::Conversation;
    SendMessageA(dataView_.handle(), LVM_SETCOLUMNWIDTH, kDirectionColumn,
                 conversation ? kDirectionWidth : 0);
    SendMessageA(dataView_.handle(), LVM_SETCOLUMNWIDTH, kPortColumn,
                 dataModel_.severalPorts() ? kPortWidth : 0);
}

// Ten times a second at most: new rows are counted in, and the row at the transport's position
// is selected and scrolled into view.
void MainDialog::dataViewTick() {
    if (!dataViewShown_) return;
    const bool recording = state_.recording.load();
    // A recording's file is read once its worker has made it afresh.
    const bool awaitingRecording = recordingRunNumber_ != 0 && !recording;
    if (!dataModel_.isOpen()) {
        if (currentFilePath_.empty() || awaitingRecording) return;
        reloadDataView();
        if (!dataModel_.isOpen()) return;
    }
    if (!recording) dataModel_.setFollowing(false);
    const std::uint64_t rows = dataModel_.rowCount();
    if (rows != dataViewRows_) {
        dataView_.setItemCount(rows);
        dataViewRows_ = rows;
    }
    std::optional<std::uint64_t> current;
    if (recording && rows > 0) {
        current = rows - 1;
    } else if (state_.playing.load() || followingPlayback_) {
        // Once more after playback has ended: its last row may have come and gone between two
        // ticks. A playback that reached the end has put the position back to the start.
        const bool ended = !state_.playing.load();
        followingPlayback_ = !ended;
        std::uint64_t position = state_.currentPosition.load();
        const bool playedToEnd = ended && position == 0 && playedPosition_ > 0;
        playedPosition_ = ended ? 0 : position;
        if (dataModel_.kind() == DataFileKind::Conversation) position *= kMicrosPerTenth;
        current =
            playedToEnd && rows > 0 ? std::optional(rows - 1) : dataModel_.rowAtTime(position);
    }
    if (current && *current != followedRow_ && *current <= 0x7FFFFFFF) {
        followedRow_ = *current;
        dataView_.selectOnly(static_cast<int>(*current));
        dataView_.ensureVisible(static_cast<int>(*current));
    }
}

bool MainDialog::onDataViewNotify(const NMHDR& header) {
    if (header.idFrom != IDC_DATA_VIEW) return false;
    switch (header.code) {
        case LVN_GETDISPINFOA: {
            LVITEMA& item =
                const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(header)).item;
            if ((item.mask & LVIF_TEXT) == 0 || item.cchTextMax <= 0 || item.iItem < 0) return true;
            const std::string& text =
                columnText(dataModel_.row(static_cast<std::uint64_t>(item.iItem)), item.iSubItem);
            lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
            return true;
        }
        case LVN_GETDISPINFOW: {
            LVITEMW& item =
                const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
            if ((item.mask & LVIF_TEXT) == 0 || item.cchTextMax <= 0 || item.iItem < 0) return true;
            const std::string& text =
                columnText(dataModel_.row(static_cast<std::uint64_t>(item.iItem)), item.iSubItem);
            // The row texts are plain ASCII.
            const std::size_t length =
                std::min<std::size_t>(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
            for (std::size_t i = 0; i < length; ++i)
                item.pszText[i] = static_cast<unsigned char>(text[i]);
            item.pszText[length] = L'\0';
            return true;
        }
        case NM_DBLCLK:
            onDataViewDoubleClick(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
            return true;
        default:
            return false;
    }
}

// Moves the position to the row's time as the slider would: only while the slider may move.
void MainDialog::onDataViewDoubleClick(int row) {
    if (row < 0 || state_.playing.load() || state_.recording.load()) return;
    std::optional<std::uint64_t> time = dataModel_.rowTime(static_cast<std::uint64_t>(row));
    if (!time) return;
    if (dataModel_.kind() == DataFileKind::Conversation) *time /= kMicrosPerTenth;
    const std::uint32_t tenths =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(*time, sliderDuration_));
    showSliderAt(tenths);
    showTime(sliderTenths());
}
