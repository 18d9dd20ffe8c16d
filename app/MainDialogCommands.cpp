// The main window's commands: dispatch, the idle update pass of the menu, and menu help.
#include "app/MainDialog.h"
#include "app/MenuPrompt.h"
#include "app/dialogs/AboutDialog.h"
#include "engine/Profile.h"
#include "res/resource.h"
#include "win32/CommandState.h"

bool MainDialog::onCommand(int id, int notifyCode, HWND control) {
    const UINT command = static_cast<UINT>(id);
    // Menu items and keys are checked against their rule once more: a key can arrive for a
    // command that the menu shows disabled. Buttons are governed by their own enabled state.
    if (control == nullptr) {
        const TransportFlags flags = transportFlags();
        if (commandEnabled(command, flags) == false) {
            if (refusedBecauseBusy(command, flags)) sayBusy();
            return true;
        }
    }

    switch (command) {
        case ID_RECORD:
        case IDC_RECORD_BUTTON:
            onRecord();
            return true;
        case ID_PLAY:
        case IDC_PLAY_BUTTON:
            onPlay();
            return true;
        case ID_PAUSE:
        case IDC_PAUSE_BUTTON:
            onPause();
            return true;
        case ID_STOP:
        case IDC_STOP_BUTTON:
            onStop();
            return true;
        case ID_FAST_FORWARD:
        case IDC_FORWARD_BUTTON:
            onFastForward();
            return true;
        case ID_FAST_REWIND:
        case IDC_REWIND_BUTTON:
            onFastRewind();
            return true;
        case ID_FILE_NEW:
            onNew();
            return true;
        case ID_FILE_OPEN:
            onOpen();
            return true;
        case ID_SAVE_AS:
            onSaveAs();
            return true;
        case ID_SERIAL_DEVICE:
            onSerialDevice();
            return true;
        case ID_LOGGING:
            onLogging();
            return true;
        case ID_EXPORT:
            onExport();
            return true;
        case ID_IMPORT:
            onImport();
            return true;
        case ID_VIEW_DATA:
            onViewData();
            return true;
        case ID_ALWAYS_ON_TOP:
            onAlwaysOnTop();
            return true;
        case ID_ANSWER_AS_DEVICE:
        case ID_PLAY_ON_SCHEDULE:
            answersConversations_ = command == ID_ANSWER_AS_DEVICE;
            profile_.writeInt("Window", "ConversationPlay", answersConversations_ ? 0 : 1);
            return true;
        case ID_ANSWER_WITH_MODBUS:
            answersWithModbus_ = !answersWithModbus_;
            profile_.writeInt("Window", "ModbusDevice", answersWithModbus_ ? 1 : 0);
            return true;
        case ID_HELP_CONTENTS:
            onHelp();
            return true;
        case ID_WEBSITE:
            onWebsite();
            return true;
        case ID_APP_EXIT:
            SendMessageA(handle(), WM_CLOSE, 0, 0);
            return true;
        case ID_APP_ABOUT:
            AboutDialog(handle()).doModal();
            return true;
        default:
            if (command >= ID_RECENT_FILE_FIRST && command <= ID_RECENT_FILE_LAST) {
                onRecentFile(command);
                return true;
            }
            if (command >= ID_PLAY_PORT_FIRST && command <= ID_PLAY_PORT_LAST) {
                onChoosePort(command);
                return true;
            }
            return Dialog::onCommand(id, notifyCode, control);
    }
}

TransportFlags MainDialog::transportFlags() const {
    const bool recording = state_.recording.load();
    const bool playing = state_.playing.load();
    // Busy exactly while the runner would refuse a start: its worker runs and has not yet
    // announced its end.
    const bool busy = !recording && !playing && runner_.isRunning() && !state_.endNotified();
    return {recording, playing, !currentFilePath_.empty(), busy};
}

LRESULT MainDialog::onKickIdle(LONG idleCount) {
    if (GetMenu(handle()) == nullptr) return 1;
    runUpdatePass();
    return idleCount <= 2 ? 1 : 0;
}

// Every item of the four popups, and of the nested Open Recent popup, gets its command's rule.
void MainDialog::runUpdatePass() {
    HMENU menu = GetMenu(handle());
    if (menu == nullptr) return;
    int popups = GetMenuItemCount(menu);
    for (int top = 0; top < popups; ++top) {
        HMENU popup = GetSubMenu(menu, top);
        if (popup == nullptr) continue;
        int items = GetMenuItemCount(popup);
        for (int index = 0; index < items; ++index) {
            if (HMENU nested = GetSubMenu(popup, index)) {
                int nestedItems = GetMenuItemCount(nested);
                for (int inner = 0; inner < nestedItems; ++inner) {
                    updateMenuItem(nested, static_cast<UINT>(inner), GetMenuItemID(nested, inner));
                }
            } else {
                updateMenuItem(popup, static_cast<UINT>(index), GetMenuItemID(popup, index));
            }
        }
    }
}

void MainDialog::updateMenuItem(HMENU menu, UINT index, UINT id) {
    if (id == 0 || id == static_cast<UINT>(-1)) return;  // separators
    CommandState item(menu, index, id);
    if (id == ID_ALWAYS_ON_TOP) {
        item.enable(true);
        item.setCheck(isTopmost());
        return;
    }
    // How Play plays a conversation: the next run takes it.
    if (id == ID_ANSWER_AS_DEVICE || id == ID_PLAY_ON_SCHEDULE) {
        item.enable(true);
        item.setCheck(answersConversations_ == (id == ID_ANSWER_AS_DEVICE));
        return;
    }
    // Which port of a conversation of several Play takes: also for the next run.
    if (id >= ID_PLAY_PORT_FIRST && id <= ID_PLAY_PORT_LAST) {
        item.enable(true);
        item.setCheck(id - ID_PLAY_PORT_FIRST == playedPort_);
        return;
    }
    if (id == ID_ANSWER_WITH_MODBUS) {
        item.enable(true);
        item.setCheck(answersWithModbus_);
        return;
    }
    if (id == ID_VIEW_DATA) {
        item.enable(true);
        item.setCheck(dataViewShown_);
        return;
    }
    if (auto enabled = commandEnabled(id, transportFlags())) item.enable(*enabled);
}

void MainDialog::onMenuSelect(UINT itemId, UINT flags, HMENU menu) {
    HMENU mainMenu = GetMenu(handle());
    if (mainMenu == nullptr) return;
    if (flags == 0xFFFF && menu == nullptr) {  // the menu has closed
        statusLine_.showPrompt("");
        return;
    }
    char text[256] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), itemId, text, sizeof text) > 0) {
        statusLine_.showPrompt(promptText(text));
        return;
    }
    std::string itemText = menuItemText(mainMenu, itemId);
    if (!itemText.empty()) statusLine_.showPrompt(itemText);
}

LRESULT MainDialog::menuItemState(UINT id) {
    HMENU menu = GetMenu(handle());
    if (menu == nullptr) return -1;
    runUpdatePass();
    UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) return -1;
    LRESULT answer = 0;
    if ((state & (MF_GRAYED | MF_DISABLED)) == 0) answer |= 1;
    if (state & MF_CHECKED) answer |= 2;
    return answer;
}
