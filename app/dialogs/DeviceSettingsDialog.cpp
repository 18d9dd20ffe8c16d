#include "app/dialogs/DeviceSettingsDialog.h"

#include "engine/DeviceSettingsChoices.h"
#include "res/resource.h"

DeviceSettingsDialog::DeviceSettingsDialog(HWND owner, const DeviceSettings& settings,
                                           const std::string& devicePort, bool reconnect)
    : Dialog(IDD_DEVICE_SETTINGS, owner),
      values_(dialogStartingValues(settings)),
      devicePort_(devicePort),
      reconnect_(reconnect) {}

namespace {

void fill(const ComboBox& list, const std::vector<std::string>& entries, int selection) {
    for (const auto& entry : entries) list.addString(entry);
    list.select(selection);  // -1 leaves the list without a selection
}

std::string selectedText(const ComboBox& list) {
    int index = list.selection();
    return index >= 0 ? list.itemText(index) : std::string();
}

// The port fields offer the COM ports and take any text too (a network port's address, a port
// the list does not offer): a stored port the list does not hold shows as it is.
void fillPort(const ComboBox& field, int selection, const std::string& port) {
    fill(field, portChoices(), selection);
    if (selection < 0) field.setText(port);
}

}  // namespace

bool DeviceSettingsDialog::onInitDialog() {
    dataBitsList_.attach(item(IDC_DATABITS_LIST));
    parityList_.attach(item(IDC_PARITY_LIST));
    stopBitsList_.attach(item(IDC_STOPBITS_LIST));
    speedList_.attach(item(IDC_SPEED_LIST));
    portList_.attach(item(IDC_PORT_LIST));

    DeviceSelections selected = preselectEntries(values_);
    fillPort(portList_, selected.port, values_.port);
    fill(speedList_, speedChoices(), selected.speed);
    fill(dataBitsList_, dataBitsChoices(), selected.dataBits);
    fill(stopBitsList_, stopBitsChoices(), selected.stopBits);
    fill(parityList_, parityChoices(), selected.parity);

    devicePortOn_.attach(item(IDC_DEVICE_PORT_ON));
    devicePortList_.attach(item(IDC_DEVICE_PORT_LIST));
    const DevicePortSelection device = preselectDevicePort(devicePort_);
    fillPort(devicePortList_, device.entry, devicePort_);
    devicePortOn_.setCheck(device.ticked);
    devicePortList_.enable(device.ticked);

    reconnectOn_.attach(item(IDC_RECONNECT_ON));
    reconnectOn_.setCheck(reconnect_);
    return true;
}

bool DeviceSettingsDialog::onCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_DEVICE_PORT_ON && notifyCode == BN_CLICKED) {
        devicePortList_.enable(devicePortOn_.isChecked());
        return true;
    }
    return Dialog::onCommand(id, notifyCode, control);
}

void DeviceSettingsDialog::onOK() {
    const auto chosen = readBackSelections(
        values_, {portList_.text(), selectedText(speedList_), selectedText(dataBitsList_),
                  selectedText(parityList_), selectedText(stopBitsList_)});
    const auto devicePort = readBackDevicePort(devicePortOn_.isChecked(), devicePortList_.text(),
                                               devicePort_, chosen.port);
    if (!devicePort) {
        MessageBoxA(handle(), "The device port must be another port than the COM port.", "Veltrane",
                    MB_OK | MB_ICONWARNING);
        return;
    }
    values_ = chosen;
    devicePort_ = *devicePort;
    reconnect_ = reconnectOn_.isChecked();
    endDialog(IDOK);
}
