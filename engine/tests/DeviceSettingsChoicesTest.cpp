#include "engine/DeviceSettingsChoices.h"

#include <gtest/gtest.h>

#include "tests/support/DeviceSettingsOf.h"

namespace {

// What the dialog shows for stored settings: the selected entries' texts.
DeviceSelectionTexts shownFor(const DeviceSettings& stored) {
    DeviceSelections picked = preselectEntries(dialogStartingValues(stored));
    auto text = [](const std::vector<std::string>& entries, int index) {
        return index >= 0 ? entries[static_cast<std::size_t>(index)] : std::string();
    };
    return {text(portChoices(), picked.port), text(speedChoices(), picked.speed),
            text(dataBitsChoices(), picked.dataBits), text(parityChoices(), picked.parity),
            text(stopBitsChoices(), picked.stopBits)};
}

// Opening the dialog and pressing OK without a change.
DeviceSettings okWithoutChange(const DeviceSettings& stored) {
    return readBackSelections(dialogStartingValues(stored), shownFor(stored));
}

}  // namespace

TEST(DeviceDialogChoices, ListsHoldTheirEntriesInOrder) {
    EXPECT_EQ(portChoices().size(), 20u);
    EXPECT_EQ(portChoices().front(), "COM1");
    EXPECT_EQ(portChoices().back(), "COM20");
    EXPECT_EQ(speedChoices().size(), 14u);
    EXPECT_EQ(speedChoices()[6], "14400");
    EXPECT_EQ(speedChoices().back(), "460800");
}

TEST(DeviceDialogChoices, PrefixSearchFindsTheFirstMatchIgnoringCase) {
    EXPECT_EQ(findEntryWithPrefix(portChoices(), "com3"), 2);
    EXPECT_EQ(findEntryWithPrefix(portChoices(), "COM1"), 0);  // not COM10
    EXPECT_EQ(findEntryWithPrefix(speedChoices(), "1"), 0);     // "110"
    EXPECT_EQ(findEntryWithPrefix(speedChoices(), "600"), -1);
    EXPECT_EQ(findEntryWithPrefix(portChoices(), "COM21"), -1);
}

TEST(DeviceDialogChoices, OkWithoutChangeKeepsOrNormalisesStoredSettings) {
    struct Case {
        DeviceSettings stored;
        DeviceSettings afterOk;
    };
    const Case cases[] = {
        {settingsOf("COM3", 19200, 7, 2, 2), settingsOf("COM3", 19200, 7, 2, 2)},
        {settingsOf("COM21", 9600, 8, 0, 0), settingsOf("COM21", 9600, 8, 0, 0)},    // not listed: kept
        {settingsOf("COM1", 1, 8, 0, 0), settingsOf("COM1", 110, 8, 0, 0)},          // "1" finds "110"
        {settingsOf("COM1", 600, 8, 0, 0), settingsOf("COM1", 600, 8, 0, 0)},        // no entry: kept
        {settingsOf("COM1", 9600, 8, 7, 0), settingsOf("COM1", 9600, 8, 0, 0)},      // parity 7 shows "None"
        {settingsOf("COM1", 9600, 8, 0, 5), settingsOf("COM1", 9600, 8, 0, 2)},      // stop bits 5 show "2"
        {settingsOf("COM2", 115200, 5, 3, 1), settingsOf("COM2", 115200, 5, 3, 1)},
        {settingsOf("COM2", 9600, 8, 4, 0), settingsOf("COM2", 9600, 8, 4, 0)},
        {settingsOf("", -5, 8, 1, 0), settingsOf("COM1", 9600, 8, 1, 0)},            // defaults for bad values
    };
    for (const auto& c : cases) {
        DeviceSettings result = okWithoutChange(c.stored);
        EXPECT_EQ(result.port, c.afterOk.port) << c.stored.port;
        EXPECT_EQ(result.speed, c.afterOk.speed) << c.stored.speed;
        EXPECT_EQ(result.dataBits, c.afterOk.dataBits);
        EXPECT_EQ(result.parity, c.afterOk.parity) << static_cast<int>(c.stored.parity);
        EXPECT_EQ(result.stopBits, c.afterOk.stopBits) << static_cast<int>(c.stored.stopBits);
    }
}

TEST(DeviceDialogChoices, SettingsPassThroughOneByteEach) {
    DeviceSettings start = dialogStartingValues(settingsOf("COM1", 9600, 9 + 256, 7, 2 + 512));
    EXPECT_EQ(start.dataBits, 9);
    EXPECT_EQ(start.parity, Parity{7});
    EXPECT_EQ(start.stopBits, StopBits{2});
    // Nine data bits match no entry, so OK keeps them.
    EXPECT_EQ(okWithoutChange(settingsOf("COM1", 9600, 9, 0, 0)).dataBits, 9);
}

TEST(DeviceDialogChoices, ReadBackTakesEachPickedTextExactly) {
    DeviceSettings given = settingsOf("COM1", 9600, 8, 0, 0);
    DeviceSettings picked = readBackSelections(given, {"COM7", "57600", "6", "Space", "1.5"});
    EXPECT_EQ(picked.port, "COM7");
    EXPECT_EQ(picked.speed, 57600);
    EXPECT_EQ(picked.dataBits, 6);
    EXPECT_EQ(picked.parity, Parity{4});
    EXPECT_EQ(picked.stopBits, StopBits{1});
    // Comparisons are case-sensitive: an unknown parity text means none.
    EXPECT_EQ(readBackSelections(settingsOf("COM1", 9600, 8, 2, 0), {"", "", "", "even", ""}).parity, Parity{0});
    // No selections at all keep everything.
    DeviceSettings kept = readBackSelections(settingsOf("COM4", 300, 7, 1, 2), {});
    EXPECT_EQ(kept.port, "COM4");
    EXPECT_EQ(kept.speed, 300);
    EXPECT_EQ(kept.parity, Parity{1});
    EXPECT_EQ(kept.stopBits, StopBits{2});
}

TEST(DeviceDialogChoices, DevicePortIsOffUnlessTickedAndNeverTheComPort) {
    EXPECT_FALSE(preselectDevicePort("").ticked);
    EXPECT_EQ(preselectDevicePort("COM12").entry, 11);
    EXPECT_EQ(preselectDevicePort("COM21").entry, -1);  // kept, as OK below shows

    EXPECT_EQ(readBackDevicePort(false, "COM6", "COM6", "COM5"), "");
    EXPECT_EQ(readBackDevicePort(true, "COM6", "", "COM5"), "COM6");
    EXPECT_EQ(readBackDevicePort(true, "", "COM21", "COM5"), "COM21");
    EXPECT_EQ(readBackDevicePort(true, "", "", "COM5"), "");
    EXPECT_EQ(readBackDevicePort(true, "COM5", "", "COM5"), std::nullopt);
    EXPECT_EQ(readBackDevicePort(true, "", "com5", "COM5"), std::nullopt);
}
