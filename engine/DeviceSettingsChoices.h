#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/ChoiceTable.h"
#include "engine/DeviceSettings.h"

// The line settings on offer, in the order the device settings dialog lists them, with the
// names the command line takes; then how the dialog maps settings to list entries and back.

inline constexpr Choice<std::int32_t> kSpeedTable[] = {
    {110, "110", "110"},          {300, "300", "300"},          {1200, "1200", "1200"},
    {2400, "2400", "2400"},       {4800, "4800", "4800"},       {9600, "9600", "9600"},
    {14400, "14400", "14400"},    {19200, "19200", "19200"},    {28800, "28800", "28800"},
    {38400, "38400", "38400"},    {57600, "57600", "57600"},    {115200, "115200", "115200"},
    {230400, "230400", "230400"}, {460800, "460800", "460800"},
};
inline constexpr Choice<std::int32_t> kDataBitsTable[] = {
    {5, "5", "5"}, {6, "6", "6"}, {7, "7", "7"}, {8, "8", "8"}};
// Each at the index of its value, which the dialog's list relies on.
inline constexpr Choice<Parity> kParityTable[] = {{Parity::None, "None", "none"},
                                                  {Parity::Odd, "Odd", "odd"},
                                                  {Parity::Even, "Even", "even"},
                                                  {Parity::Mark, "Mark", "mark"},
                                                  {Parity::Space, "Space", "space"}};
inline constexpr Choice<StopBits> kStopBitsTable[] = {
    {StopBits::One, "1", "1"}, {StopBits::OneAndAHalf, "1.5", "1.5"}, {StopBits::Two, "2", "2"}};

// The dialog's lists: the labels of the tables above, and the ports it offers.
const std::vector<std::string>& portChoices();      // "COM1" ... "COM20"
const std::vector<std::string>& speedChoices();     // "110" ... "460800"
const std::vector<std::string>& dataBitsChoices();  // "5" ... "8"
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

// "Device port": ticked when one is set, its list (the ports above) on that port (-1: none).
struct DevicePortSelection {
    bool ticked;
    int entry;
};
DevicePortSelection preselectDevicePort(const std::string& devicePort);

// The device port OK takes: none when unticked; the chosen port, or the given one when the list
// has no selection (a stored port it does not offer is kept, as for the COM port); nothing at
// all when that is the COM port itself (one port cannot be both sides), so the dialog stays open.
std::optional<std::string> readBackDevicePort(bool ticked, const std::string& selected,
                                              const std::string& given, const std::string& comPort);
