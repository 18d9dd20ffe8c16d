#pragma once

#include "engine/DeviceSettings.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Device Settings": port, speed, data bits, parity and stop bits, each picked from a list.
// Opens on the given settings; after OK, settings() holds what the user chose.
class DeviceSettingsDialog : public Dialog {
public:
    DeviceSettingsDialog(HWND owner, const DeviceSettings& settings);
    const DeviceSettings& settings() const { return values_; }

private:
    bool onInitDialog() override;
    void onOK() override;

    DeviceSettings values_;
    ComboBox dataBitsList_, parityList_, stopBitsList_, speedList_, portList_;
};
