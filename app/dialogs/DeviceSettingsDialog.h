#pragma once

#include "engine/DeviceSettings.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Device Settings": port, speed, data bits, parity and stop bits, each picked from a list, and
// the optional device port (same line settings) for sitting between a program and its device,
// and whether a recording or playback waits for a port that went away to come back.
// Opens on the given settings; after OK, settings(), devicePort() and reconnect() hold what the
// user chose.
class DeviceSettingsDialog : public Dialog {
public:
    DeviceSettingsDialog(HWND owner, const DeviceSettings& settings, const std::string& devicePort,
                         bool reconnect);
    const DeviceSettings& settings() const { return values_; }
    const std::string& devicePort() const { return devicePort_; }
    bool reconnect() const { return reconnect_; }

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;

    DeviceSettings values_;
    std::string devicePort_;
    bool reconnect_;
    ComboBox dataBitsList_, parityList_, stopBitsList_, speedList_, portList_, devicePortList_;
    Button devicePortOn_, reconnectOn_;
};
