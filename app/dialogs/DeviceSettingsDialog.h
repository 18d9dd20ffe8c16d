#pragma once

#include "engine/DeviceSettings.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Device Settings": port, speed, data bits, parity and stop bits, each picked from a list, and
// the optional device port (same line settings) for sitting between a program and its device.
// Opens on the given settings; after OK, settings() and devicePort() hold what the user chose.
class DeviceSettingsDialog : public Dialog {
public:
    DeviceSettingsDialog(HWND owner, const DeviceSettings& settings, const std::string& devicePort);
    const DeviceSettings& settings() const { return values_; }
    const std::string& devicePort() const { return devicePort_; }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;

    DeviceSettings values_;
    std::string devicePort_;
    ComboBox dataBitsList_, parityList_, stopBitsList_, speedList_, portList_, devicePortList_;
    Button devicePortOn_;
};
