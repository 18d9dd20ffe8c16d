// The Play menu's choice of port for a conversation recorded from several: a radio item for
// each port (interface) of the file, none for a file of one. Play plays, or answers, the chosen
// port; opening another file chooses its first again.
#include "app/MainDialog.h"
#include "app/PortMenuText.h"
#include "res/resource.h"

namespace {
constexpr int kPlayMenuPosition = 1;
constexpr std::size_t kMostPortItems = ID_PLAY_PORT_LAST - ID_PLAY_PORT_FIRST + 1;

bool isPortItem(UINT id) { return id >= ID_PLAY_PORT_FIRST && id <= ID_PLAY_PORT_LAST; }
}  // namespace

// The items of the file before go, with the separator before them: the menu's own items end in
// an item, never in a separator.
void MainDialog::showPortChoices(std::vector<ConversationInterface> ports) {
    filePorts_ = ports.size() > 1 ? std::move(ports) : std::vector<ConversationInterface>{};
    playedPort_ = 0;
    HMENU menu = GetMenu(handle());
    HMENU playMenu = menu ? GetSubMenu(menu, kPlayMenuPosition) : nullptr;
    if (playMenu == nullptr) return;
    for (int index = GetMenuItemCount(playMenu) - 1; index >= 0; --index) {
        const UINT id = GetMenuItemID(playMenu, index);
        if (isPortItem(id)) DeleteMenu(playMenu, static_cast<UINT>(index), MF_BYPOSITION);
    }
    const int last = GetMenuItemCount(playMenu) - 1;
    if (last >= 0 && GetMenuItemID(playMenu, last) == 0)
        DeleteMenu(playMenu, static_cast<UINT>(last), MF_BYPOSITION);
    if (filePorts_.empty()) return;

    AppendMenuA(playMenu, MF_SEPARATOR, 0, nullptr);
    for (std::size_t index = 0; index < filePorts_.size() && index < kMostPortItems; ++index) {
        const std::string text = portMenuText(index, filePorts_[index]);
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.fType = MFT_RADIOCHECK;
        item.wID = ID_PLAY_PORT_FIRST + static_cast<UINT>(index);
        item.dwTypeData = const_cast<char*>(text.c_str());
        InsertMenuItemA(playMenu, static_cast<UINT>(GetMenuItemCount(playMenu)), TRUE, &item);
    }
}

// The next run takes it.
void MainDialog::onChoosePort(UINT id) {
    const std::size_t index = id - ID_PLAY_PORT_FIRST;
    if (isPortItem(id) && index < filePorts_.size())
        playedPort_ = static_cast<std::uint32_t>(index);
}
