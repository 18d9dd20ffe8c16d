// The settings dialogs as the main window runs them: "Device Settings" (Options > Serial device)
// and "Logging Options" (Options > Logging), what they show from the registry and what OK and
// Cancel write back.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// The five list selections of the device settings dialog, as texts ("" for no selection).
struct DeviceLists {
    std::string port, speed, dataBits, parity, stopBits;
    bool operator==(const DeviceLists&) const = default;
};

void PrintTo(const DeviceLists& lists, std::ostream* out) {
    *out << "{\"" << lists.port << "\", \"" << lists.speed << "\", \"" << lists.dataBits << "\", \""
         << lists.parity << "\", \"" << lists.stopBits << "\"}";
}

DeviceLists selectionsOf(const UiDialog& dialog) {
    return {dialog.selectedText(IDC_PORT_LIST), dialog.selectedText(IDC_SPEED_LIST),
            dialog.selectedText(IDC_DATABITS_LIST), dialog.selectedText(IDC_PARITY_LIST),
            dialog.selectedText(IDC_STOPBITS_LIST)};
}

// Section "Device" as it is in the registry; -1 for a missing number, "<none>" for no port.
struct StoredDevice {
    std::string port = "<none>";
    long speed = -1, dataBits = -1, parity = -1, stopBits = -1;
    bool operator==(const StoredDevice&) const = default;
};

void PrintTo(const StoredDevice& stored, std::ostream* out) {
    *out << "{Port \"" << stored.port << "\", Speed " << stored.speed << ", Databits "
         << stored.dataBits << ", Parity " << stored.parity << ", Stopbits " << stored.stopBits
         << "}";
}

StoredDevice storedDevice(const UiProgram& program) {
    StoredDevice stored;
    program.readString("Device", "Port", stored.port);
    auto number = [&](const char* name, long& value) {
        DWORD data = 0;
        if (program.readDword("Device", name, data)) value = static_cast<long>(data);
    };
    number("Speed", stored.speed);
    number("Databits", stored.dataBits);
    number("Parity", stored.parity);
    number("Stopbits", stored.stopBits);
    return stored;
}

void storeDevice(UiProgram& program, const StoredDevice& device) {
    program.writeString("Device", "Port", device.port);
    program.writeDword("Device", "Speed", static_cast<DWORD>(device.speed));
    program.writeDword("Device", "Databits", static_cast<DWORD>(device.dataBits));
    program.writeDword("Device", "Parity", static_cast<DWORD>(device.parity));
    program.writeDword("Device", "Stopbits", static_cast<DWORD>(device.stopBits));
}

}  // namespace

TEST(DeviceSettingsDialog, ShowsTheStoredSettingsAndOkWritesThemBack) {
    UiProgram program;
    const StoredDevice stored{"COM3", 19200, 7, 2, 2};
    storeDevice(program, stored);
    ASSERT_TRUE(started(program));
    // Whatever OK writes must come from the dialog, not from what was there before.
    ASSERT_TRUE(program.deleteSection("Device"));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    EXPECT_EQ(selectionsOf(dialog), (DeviceLists{"COM3", "19200", "7", "Even", "2"}));
    EXPECT_EQ(dialog.entries(IDC_PORT_LIST).size(), 20u);
    EXPECT_EQ(dialog.entries(IDC_SPEED_LIST).size(), 14u);
    EXPECT_EQ(dialog.entries(IDC_PARITY_LIST),
              (std::vector<std::string>{"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(dialog.entries(IDC_STOPBITS_LIST), (std::vector<std::string>{"1", "1.5", "2"}));

    ASSERT_TRUE(closeDialog(dialog, IDOK));
    EXPECT_EQ(storedDevice(program), stored);
}

TEST(DeviceSettingsDialog, ValuesTheListsCannotShowAreMatchedByPrefixOrKept) {
    UiProgram program;
    // COM21 is not offered; speed 1 is the prefix of "110"; parity 7 and stop bits 5 have no
    // entry of their own.
    storeDevice(program, {"COM21", 1, 8, 7, 5});
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(program.deleteSection("Device"));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    EXPECT_EQ(dialog.selection(IDC_PORT_LIST), -1) << dialog.selectedText(IDC_PORT_LIST);
    EXPECT_EQ(selectionsOf(dialog), (DeviceLists{"", "110", "8", "None", "2"}));

    ASSERT_TRUE(closeDialog(dialog, IDOK));
    EXPECT_EQ(storedDevice(program), (StoredDevice{"COM21", 110, 8, 0, 2}));
}

TEST(DeviceSettingsDialog, CancelAfterChangingEveryListKeepsTheSettings) {
    UiProgram program;
    const StoredDevice stored{"COM3", 19200, 7, 2, 2};
    storeDevice(program, stored);
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(program.deleteSection("Device"));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    ASSERT_TRUE(dialog.choose(IDC_PORT_LIST, 0));
    ASSERT_TRUE(dialog.choose(IDC_SPEED_LIST, 0));
    ASSERT_TRUE(dialog.choose(IDC_DATABITS_LIST, 0));
    ASSERT_TRUE(dialog.choose(IDC_PARITY_LIST, 4));
    ASSERT_TRUE(dialog.choose(IDC_STOPBITS_LIST, 1));
    ASSERT_EQ(selectionsOf(dialog), (DeviceLists{"COM1", "110", "5", "Space", "1.5"}));
    ASSERT_TRUE(closeDialog(dialog, IDCANCEL));
    EXPECT_EQ(storedDevice(program), StoredDevice{}) << "Cancel wrote settings";

    // The window kept its settings too: the next dialog shows them as before.
    UiDialog again = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(again) << "no second \"Device Settings\" dialog";
    EXPECT_EQ(selectionsOf(again), (DeviceLists{"COM3", "19200", "7", "Even", "2"}));
    ASSERT_TRUE(closeDialog(again, IDCANCEL));
}

TEST(DeviceSettingsDialog, DevicePortIsOffUntilTickedThenStoredBesideTheOthers) {
    UiProgram program;
    storeDevice(program, {"COM5", 9600, 8, 0, 0});
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    EXPECT_FALSE(dialog.checked(IDC_DEVICE_PORT_ON));
    EXPECT_FALSE(dialog.enabled(IDC_DEVICE_PORT_LIST));
    ASSERT_TRUE(dialog.click(IDC_DEVICE_PORT_ON));
    EXPECT_TRUE(dialog.enabled(IDC_DEVICE_PORT_LIST));
    ASSERT_TRUE(dialog.choose(IDC_DEVICE_PORT_LIST, 5));
    ASSERT_TRUE(closeDialog(dialog, IDOK));

    std::string devicePort;
    EXPECT_TRUE(program.readString("Device", "DevicePort", devicePort));
    EXPECT_EQ(devicePort, "COM6");
    EXPECT_EQ(storedDevice(program), (StoredDevice{"COM5", 9600, 8, 0, 0}));

    UiDialog again = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(again) << "no second \"Device Settings\" dialog";
    EXPECT_TRUE(again.checked(IDC_DEVICE_PORT_ON));
    EXPECT_EQ(again.selectedText(IDC_DEVICE_PORT_LIST), "COM6");
    ASSERT_TRUE(closeDialog(again, IDCANCEL));
}

TEST(DeviceSettingsDialog, ReconnectIsOnUntilUntickedThenStoredBesideTheOthers) {
    UiProgram program;
    storeDevice(program, {"COM5", 9600, 8, 0, 0});
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    EXPECT_TRUE(dialog.checked(IDC_RECONNECT_ON));
    ASSERT_TRUE(dialog.click(IDC_RECONNECT_ON));
    ASSERT_TRUE(closeDialog(dialog, IDOK));

    DWORD reconnect = 1;
    EXPECT_TRUE(program.readDword("Device", "Reconnect", reconnect));
    EXPECT_EQ(reconnect, 0u);
    EXPECT_EQ(storedDevice(program), (StoredDevice{"COM5", 9600, 8, 0, 0}));

    UiDialog again = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(again) << "no second \"Device Settings\" dialog";
    EXPECT_FALSE(again.checked(IDC_RECONNECT_ON));
    ASSERT_TRUE(closeDialog(again, IDCANCEL));
}

namespace {

struct LoggingControls {
    std::string file;
    bool enabled, append, showDate;     // check marks
    bool fileOn, appendOn, showDateOn;  // enabled states
    bool operator==(const LoggingControls&) const = default;
};

void PrintTo(const LoggingControls& c, std::ostream* out) {
    auto box = [](bool checked, bool on) {
        return std::string(checked ? "checked" : "unchecked") + (on ? "" : " disabled");
    };
    *out << "{edit \"" << c.file << "\"" << (c.fileOn ? "" : " disabled") << ", Logging enabled "
         << box(c.enabled, true) << ", Append " << box(c.append, c.appendOn) << ", Show date "
         << box(c.showDate, c.showDateOn) << "}";
}

LoggingControls loggingControlsOf(const UiDialog& dialog) {
    return {dialog.text(IDC_LOG_FILE_EDIT),    dialog.checked(IDC_LOGGING_ENABLED),
            dialog.checked(IDC_LOG_APPEND),    dialog.checked(IDC_LOG_SHOW_DATE),
            dialog.enabled(IDC_LOG_FILE_EDIT), dialog.enabled(IDC_LOG_APPEND),
            dialog.enabled(IDC_LOG_SHOW_DATE)};
}

long storedLoggingNumber(const UiProgram& program, const char* name) {
    DWORD value = 0;
    return program.readDword("Logging", name, value) ? static_cast<long>(value) : -1;
}

}  // namespace

TEST(LoggingOptionsDialog, LoggingEnabledGovernsTheOtherControlsAndOkStoresThemAll) {
    UiProgram program;
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_LOGGING, "Logging Options");
    ASSERT_TRUE(dialog) << "no \"Logging Options\" dialog";
    EXPECT_EQ(loggingControlsOf(dialog),
              (LoggingControls{"\\serial.log", false, false, false, false, false, false}));
    EXPECT_TRUE(dialog.enabled(IDC_BROWSE));

    ASSERT_TRUE(dialog.click(IDC_LOGGING_ENABLED));
    EXPECT_EQ(loggingControlsOf(dialog),
              (LoggingControls{"\\serial.log", true, false, false, true, true, true}));
    const std::string logFile = program.folder() + "\\device session.log";
    ASSERT_TRUE(dialog.setText(IDC_LOG_FILE_EDIT, logFile));
    ASSERT_TRUE(dialog.click(IDC_LOG_APPEND));

    // Switched off again: the controls keep what they hold, and OK stores it all the same.
    ASSERT_TRUE(dialog.click(IDC_LOGGING_ENABLED));
    EXPECT_EQ(loggingControlsOf(dialog),
              (LoggingControls{logFile, false, true, false, false, false, false}));

    ASSERT_TRUE(closeDialog(dialog, IDOK));
    std::string storedFile;
    EXPECT_TRUE(program.readString("Logging", "LogFile", storedFile));
    EXPECT_EQ(storedFile, logFile);
    EXPECT_EQ(storedLoggingNumber(program, "LoggingOn"), 0);
    EXPECT_EQ(storedLoggingNumber(program, "AppendFile"), 1);
    EXPECT_EQ(storedLoggingNumber(program, "ShowDate"), 0);
    EXPECT_FALSE(fileExists(logFile)) << "the options dialog made the log file";
}

TEST(LoggingOptionsDialog, OpensOnTheStoredValuesAndCancelWritesNothing) {
    UiProgram program;
    ASSERT_TRUE(program.writeDword("Logging", "LoggingOn", 1));
    ASSERT_TRUE(program.writeDword("Logging", "AppendFile", 0));
    ASSERT_TRUE(program.writeDword("Logging", "ShowDate", 1));
    ASSERT_TRUE(program.writeString("Logging", "LogFile", "C:\\logs\\kept.log"));
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_LOGGING, "Logging Options");
    ASSERT_TRUE(dialog) << "no \"Logging Options\" dialog";
    EXPECT_EQ(loggingControlsOf(dialog),
              (LoggingControls{"C:\\logs\\kept.log", true, false, true, true, true, true}));

    ASSERT_TRUE(dialog.setText(IDC_LOG_FILE_EDIT, "C:\\logs\\changed.log"));
    ASSERT_TRUE(dialog.click(IDC_LOG_APPEND));
    ASSERT_TRUE(dialog.click(IDC_LOG_SHOW_DATE));
    ASSERT_TRUE(dialog.click(IDC_LOGGING_ENABLED));
    ASSERT_TRUE(closeDialog(dialog, IDCANCEL));

    std::string storedFile;
    EXPECT_TRUE(program.readString("Logging", "LogFile", storedFile));
    EXPECT_EQ(storedFile, "C:\\logs\\kept.log");
    EXPECT_EQ(storedLoggingNumber(program, "LoggingOn"), 1);
    EXPECT_EQ(storedLoggingNumber(program, "AppendFile"), 0);
    EXPECT_EQ(storedLoggingNumber(program, "ShowDate"), 1);
}

// Both port fields take any text, a network port's address above all, and show a stored one as
// it is.
TEST(DeviceSettingsDialog, PortFieldsTakeNetworkPortsAsTyped) {
    UiProgram program;
    storeDevice(program, {"rfc2217://127.0.0.1:7000", 9600, 8, 0, 0});
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(dialog) << "no \"Device Settings\" dialog";
    EXPECT_EQ(dialog.text(IDC_PORT_LIST), "rfc2217://127.0.0.1:7000");
    ASSERT_TRUE(dialog.setText(IDC_PORT_LIST, "rfc2217-server:7001"));
    ASSERT_TRUE(dialog.click(IDC_DEVICE_PORT_ON));
    ASSERT_TRUE(dialog.setText(IDC_DEVICE_PORT_LIST, "tcp://192.0.2.5:4001"));
    ASSERT_TRUE(closeDialog(dialog, IDOK));

    EXPECT_EQ(storedDevice(program), (StoredDevice{"rfc2217-server:7001", 9600, 8, 0, 0}));
    std::string devicePort;
    EXPECT_TRUE(program.readString("Device", "DevicePort", devicePort));
    EXPECT_EQ(devicePort, "tcp://192.0.2.5:4001");
    UiDialog again = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(again) << "no second \"Device Settings\" dialog";
    EXPECT_EQ(again.text(IDC_DEVICE_PORT_LIST), "tcp://192.0.2.5:4001");
    ASSERT_TRUE(closeDialog(again, IDCANCEL));
}
