#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/tests/ui/UiProgram.h"
#include "engine/SerialPort.h"
#include "res/resource.h"
#include "tests/support/SerialPair.h"

using namespace std::chrono_literals;

// How long a state change may take to show under Wine: generous, so only a real fault fails.
inline constexpr auto kStateLimit = 10s;

// Starts the program; the failure message says why it did not come up.
::testing::AssertionResult started(UiProgram& program, const std::string& arguments = "");

// Waits until the status line shows `text`; the failure message says what it showed instead.
::testing::AssertionResult statusBecomes(const UiProgram& program, const std::string& text,
                                         std::chrono::milliseconds limit = kStateLimit);

// The enabled state of the six transport buttons and the position slider.
struct TransportControls {
    bool record = false;
    bool play = false;
    bool pause = false;
    bool stop = false;
    bool rewind = false;
    bool forward = false;
    bool slider = false;

    bool operator==(const TransportControls&) const = default;
};
void PrintTo(const TransportControls& controls, std::ostream* out);
TransportControls transportControlsOf(const UiProgram& program);

// The states' button rules: Stopped with and without a file, Recording, Playing (also Paused).
inline constexpr TransportControls kStoppedWithoutFile{true,  false, false, false,
                                                       false, false, false};
inline constexpr TransportControls kStoppedWithFile{true, true, false, false, true, true, true};
inline constexpr TransportControls kRecordingControls{false, false, false, true,
                                                      false, false, false};
inline constexpr TransportControls kPlayingControls{false, false, true, true, false, false, false};

// Menu item states as the program answers them.
inline constexpr LRESULT kAbsent = -1;
inline constexpr LRESULT kGrayed = 0;
inline constexpr LRESULT kEnabled = 1;
inline constexpr LRESULT kEnabledChecked = 3;

// Empty when every listed command has the expected state, else one line per difference.
std::string menuDifferences(const UiProgram& program,
                            std::initializer_list<std::pair<int, LRESULT>> expected);

// True when the rectangle's centre lies within a few pixels of the work area's centre.
::testing::AssertionResult centredOnScreen(const RECT& rect);

std::vector<std::uint8_t> positionValue(std::int32_t left, std::int32_t top, std::int32_t width,
                                        std::int32_t height);

// The test's side of the serial pair: the device that the program records and plays to. The
// program is given the other side as its port.
class TestDevice {
public:
    // Opens the device side and reads away what earlier tests left on either side.
    ::testing::AssertionResult open();
    const std::string& programPort() const { return pair_.portName(); }

    bool send(const std::string& bytes);
    // Ends the pair, as an unplugged adapter ends a port; later tests get a new pair.
    bool goAway();
    // Ends the pair and keeps its names, as an adapter unplugged; then a new pair under them,
    // as the adapter plugged back in, with the device side open again.
    bool unplug();
    bool plugBackIn();
    // Reads until `wanted` bytes came or the limit passed.
    std::string receive(std::size_t wanted, std::chrono::milliseconds limit);

private:
    SerialPair pair_;
    SerialPort port_;
};

// Gives the program the pair's port in its settings.
void usePort(UiProgram& program, const TestDevice& device);

// The ports of a monitoring run: the test talks as the program (`host`, on the far end of the
// COM port's pair), and the device port is a second pair whose far end is `devicePair`'s.
struct MonitoringPorts {
    TestDevice host;
    SerialPair devicePair;

    // Opens both pairs and gives the program the COM port and the device port.
    ::testing::AssertionResult open(UiProgram& program);
};

// The files matching *.tmp in the temporary folder, by path.
std::set<std::string> temporaryFiles();
// Those of them not in `before`; or only those that hold at least one byte.
std::vector<std::string> newFiles(const std::set<std::string>& before);
std::vector<std::string> newFilesWithData(const std::set<std::string>& before);
bool fileExists(const std::string& path);

// The chunks of a serial file: their time offsets and lengths, and all their data bytes in
// order.
struct RecordedFile {
    std::vector<std::uint32_t> offsets;
    std::vector<std::size_t> lengths;
    std::string data;
};
RecordedFile readRecordedFile(const std::string& path);

// Writes a serial file of the given chunks (time offset in tenths, data bytes).
bool writeSerialFile(const std::string& path,
                     const std::vector<std::pair<std::uint32_t, std::string>>& chunks);
// A file's bytes as they are; a marker text when it cannot be read.
std::string fileBytes(const std::string& path);
bool writeFileBytes(const std::string& path, const std::string& bytes);

// How long a dialog may take to come up under Wine; the file dialogs are the slowest.
inline constexpr auto kDialogLimit = 15s;

// Opens one of the program's dialogs with a menu command and waits until it shows.
UiDialog openDialog(UiProgram& program, int command, const std::string& caption);
// Presses one of a dialog's buttons and waits until the dialog has gone.
::testing::AssertionResult closeDialog(UiDialog& dialog, int button);

// Answers the common file dialog that the program shows: types the path and clicks its OK
// button; succeeds once the file dialog is gone.
::testing::AssertionResult chooseFile(UiProgram& program, const std::string& path);

// Reads the text of the program's error box ("Veltrane Error") and dismisses it with OK.
::testing::AssertionResult dismissErrorBox(UiProgram& program, std::string& text);
