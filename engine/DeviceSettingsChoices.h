#pragma once

#include <string>
#include <vector>

#include "engine/DeviceSettings.h"

// What the device settings dialog offers and how it maps settings to list entries and back.

const std::vector<std::string>& portChoices();      // "COM1" ... "COM20"
const std::vector<std::string>& speedChoices();     // "110" ... "460800"
const std::vector<std::string>& dataBitsChoices();  // "5" ... "8"
// The names of parity and stop bits, at the index of their value: the one table of them.
const std::vector<std::string>& parityChoices();    // "None", "Odd", "Even", "Mark", "Space"
const std::vector<std::string>& stopBitsChoices();  // "1", "1.5", "2"

// The first entry that begins with text, ignoring case, as a list box finds it; -1 for none.
int findEntryWithPrefix(const std::vector<std::string>& entries, const std::string& text);

// The settings the dialog starts from: stored values pass through one byte each as the port's
// configuration record carries them; a speed of 0 or less becomes the default speed, an empty
// port the default port.
DeviceSettings dialogStartingValues(const DeviceSettings& stored);

// Which entry each list selects when the dialog opens (-1: none).
struct DeviceSelections {
    int port, speed, dataBits, parity, stopBits;
};
DeviceSelections preselectEntries(const DeviceSettings& values);

// The texts of the selected entries when OK is pressed ("" where a list has no selection).
struct DeviceSelectionTexts {
    std::string port, speed, dataBits, parity, stopBits;
};
// The values OK takes: each list's text where it has one, else the value the dialog was given.
DeviceSettings readBackSelections(const DeviceSettings& given, const DeviceSelectionTexts& texts);
