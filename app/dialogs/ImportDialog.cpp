#include "app/dialogs/ImportDialog.h"

#include <cstdlib>

#include "engine/DeviceSettingsChoices.h"
#include "res/resource.h"
#include "win32/FileDialog.h"

ImportDialog::ImportDialog(HWND owner) : Dialog(IDD_IMPORT, owner) {}

bool ImportDialog::onInitDialog() {
    fileEdit_.attach(item(IDC_IMPORT_FILE_EDIT));
    formatList_.attach(item(IDC_IMPORT_FORMAT_LIST));
    speedList_.attach(item(IDC_IMPORT_SPEED_LIST));
    for (const auto& format : kImportFormatTable) formatList_.addString(format.label);
    for (const auto& speed : speedChoices()) speedList_.addString(speed);  // the port's speeds

    fileEdit_.setText(importPath);
    enableOkForPath();
    // The first entry that begins with the speed, searching on from the second and wrapping.
    std::string speed = std::to_string(assumedSpeed);
    int found = static_cast<int>(SendMessageA(speedList_.handle(), CB_FINDSTRING, 0,
                                              reinterpret_cast<LPARAM>(speed.c_str())));
    speedList_.select(found);
    formatList_.select(static_cast<int>(dataFormat));
    return true;
}

void ImportDialog::enableOkForPath() {
    EnableWindow(item(IDOK), GetWindowTextLengthA(fileEdit_.handle()) > 0);
}

bool ImportDialog::onCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_IMPORT_FILE_EDIT && notifyCode == EN_CHANGE) {
        enableOkForPath();
        return true;
    }
    if (id == IDC_BROWSE && notifyCode == BN_CLICKED) {
        auto chosen = chooseFileToOpen(handle(), "All Files (*.*)|*.*||", OFN_FILEMUSTEXIST);
        if (chosen) fileEdit_.setText(*chosen);
        return true;
    }
    return Dialog::onCommand(id, notifyCode, control);
}

void ImportDialog::onOK() {
    importPath = fileEdit_.text();
    int speedIndex = speedList_.selection();
    std::string speedText = speedIndex >= 0 ? speedList_.itemText(speedIndex) : std::string();
    if (!speedText.empty() && std::atoi(speedText.c_str()) > 0) {
        assumedSpeed = std::atoi(speedText.c_str());
    }
    if (assumedSpeed <= 0) assumedSpeed = kDefaultImportSpeed;
    const int format = formatList_.selection();
    if (format != CB_ERR) dataFormat = kImportFormatTable[format].value;
    endDialog(IDOK);
}
