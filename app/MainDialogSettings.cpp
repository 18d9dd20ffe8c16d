// The main window's settings dialogs: serial device and logging.
#include "app/MainDialog.h"
#include "app/dialogs/DeviceSettingsDialog.h"
#include "app/dialogs/LoggingOptionsDialog.h"
#include "engine/DeviceSettings.h"
#include "log/LogSettings.h"

void MainDialog::onSerialDevice() {
    DeviceSettingsDialog dialog(handle(), deviceSettings_, devicePort_, reconnect_);
    if (dialog.doModal() != IDOK) return;
    deviceSettings_ = dialog.settings();
    devicePort_ = dialog.devicePort();
    reconnect_ = dialog.reconnect();
    storeDeviceSettings(profile_, deviceSettings_);
    storeDevicePort(profile_, devicePort_);
    storeReconnect(profile_, reconnect_);
}

void MainDialog::onLogging() {
    LoggingOptionsDialog dialog(handle(), loadLogSettings(profile_));
    if (dialog.doModal() != IDOK) return;
    storeLogSettings(profile_, dialog.settings);
}
