#include "app/tests/ui/UiTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "engine/SerialFile.h"
#include "tests/support/SerialDrain.h"

::testing::AssertionResult started(UiProgram& program, const std::string& arguments) {
    std::string why;
    if (program.start(arguments, &why)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the program did not start: " << why;
}

::testing::AssertionResult statusBecomes(const UiProgram& program, const std::string& text,
                                         std::chrono::milliseconds limit) {
    if (waitUntil([&] { return program.text(IDC_STATUS_LINE) == text; }, limit)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the status line shows \"" << program.text(IDC_STATUS_LINE) << "\", not \"" << text
           << "\", after " << limit.count() << " ms";
}

void PrintTo(const TransportControls& c, std::ostream* out) {
    auto state = [](bool enabled) { return enabled ? "on" : "off"; };
    *out << "{Record " << state(c.record) << ", Play " << state(c.play) << ", Pause "
         << state(c.pause) << ", Stop " << state(c.stop) << ", Rewind " << state(c.rewind)
         << ", Forward " << state(c.forward) << ", slider " << state(c.slider) << "}";
}

TransportControls transportControlsOf(const UiProgram& program) {
    return {program.enabled(IDC_RECORD_BUTTON),  program.enabled(IDC_PLAY_BUTTON),
            program.enabled(IDC_PAUSE_BUTTON),   program.enabled(IDC_STOP_BUTTON),
            program.enabled(IDC_REWIND_BUTTON),  program.enabled(IDC_FORWARD_BUTTON),
            program.enabled(IDC_POSITION_SLIDER)};
}

namespace {

std::string commandName(int id) {
    static const std::map<int, std::string> names = {
        {ID_FILE_NEW, "New"},
        {ID_FILE_OPEN, "Open"},
        {ID_APP_ABOUT, "About"},
        {ID_APP_EXIT, "Exit"},
        {ID_RECORD, "Record"},
        {ID_PLAY, "Play"},
        {ID_PAUSE, "Pause"},
        {ID_STOP, "Stop"},
        {ID_FAST_FORWARD, "Fast forward"},
        {ID_FAST_REWIND, "Fast rewind"},
        {ID_SERIAL_DEVICE, "Serial device"},
        {ID_SAVE_AS, "Save as"},
        {ID_HELP_CONTENTS, "Contents and index"},
        {ID_EXPORT, "Export"},
        {ID_LOGGING, "Logging"},
        {ID_TRAY_HIDE_SHOW, "Hide/Show"},
        {ID_NO_RECENT_FILES, "No recent files"},
        {ID_WEBSITE, "website"},
        {ID_ALWAYS_ON_TOP, "Always on top"},
        {ID_IMPORT, "Import"},
    };
    auto found = names.find(id);
    return (found == names.end() ? std::string("command") : found->second) + " (" +
           std::to_string(id) + ")";
}

std::string stateName(LRESULT state) {
    switch (state) {
        case kAbsent:
            return "absent";
        case UiProgram::kNoAnswer:
            return "no answer";
        case kGrayed:
            return "grayed";
        case kEnabled:
            return "enabled";
        case 2:
            return "grayed and checked";
        case kEnabledChecked:
            return "enabled and checked";
        default:
            return "answer " + std::to_string(state);
    }
}

}  // namespace

std::string menuDifferences(const UiProgram& program,
                            std::initializer_list<std::pair<int, LRESULT>> expected) {
    std::string differences;
    for (const auto& [id, state] : expected) {
        LRESULT actual = program.menuItemState(id);
        if (actual != state) {
            differences += commandName(id) + ": " + stateName(actual) + ", expected " +
                           stateName(state) + "\n";
        }
    }
    return differences;
}

::testing::AssertionResult centredOnScreen(const RECT& rect) {
    RECT area = {};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    long dx = (rect.left + rect.right) / 2 - (area.left + area.right) / 2;
    long dy = (rect.top + rect.bottom) / 2 - (area.top + area.bottom) / 2;
    if (std::labs(dx) <= 8 && std::labs(dy) <= 8) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "window at (" << rect.left << ", " << rect.top << ")-(" << rect.right << ", "
           << rect.bottom << ") is not centred in the work area (" << area.left << ", " << area.top
           << ")-(" << area.right << ", " << area.bottom << ")";
}

std::vector<std::uint8_t> positionValue(std::int32_t left, std::int32_t top, std::int32_t width,
                                        std::int32_t height) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t value : {left, top, width, height}) {
        auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
        }
    }
    return bytes;
}

::testing::AssertionResult TestDevice::open() {
    std::string why;
    if (!pair_.start(&why)) return ::testing::AssertionFailure() << why;
    if (!port_.open(SerialPort::devicePath(pair_.devicePortName()), 9600, 8, Parity::None,
                    StopBits::One)) {
        return ::testing::AssertionFailure()
               << "cannot open " << pair_.devicePortName() << ": " << port_.errorText();
    }
    drainSerialPort(port_);
    // Bytes that an earlier test sent and no program read would be recorded first.
    SerialPort programSide;
    if (programSide.open(SerialPort::devicePath(pair_.portName()), 9600, 8, Parity::None,
                         StopBits::One)) {
        drainSerialPort(programSide);
    }
    return ::testing::AssertionSuccess();
}

bool TestDevice::goAway() {
    port_.close();
    return pair_.stop();
}

bool TestDevice::unplug() {
    port_.close();
    return pair_.takeAway();
}

bool TestDevice::plugBackIn() {
    std::string why;
    return pair_.bringBack(&why) && port_.open(SerialPort::devicePath(pair_.devicePortName()), 9600,
                                               8, Parity::None, StopBits::One);
}

bool TestDevice::send(const std::string& bytes) {
    std::uint32_t written = 0;
    return port_.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
           written == bytes.size();
}

std::string TestDevice::receive(std::size_t wanted, std::chrono::milliseconds limit) {
    std::string got;
    SerialTimeouts timeouts{kSerialTimeoutMax, kSerialTimeoutMax, 100, 0, 0};
    if (!port_.setTimeouts(&timeouts)) return got;
    auto end = std::chrono::steady_clock::now() + limit;
    char buffer[255];
    while (got.size() < wanted && std::chrono::steady_clock::now() < end) {
        std::uint32_t n = 0;
        if (!port_.read(buffer, sizeof buffer, &n)) break;
        got.append(buffer, n);
    }
    return got;
}

void usePort(UiProgram& program, const TestDevice& device) {
    program.writeString("Device", "Port", device.programPort());
}

::testing::AssertionResult MonitoringPorts::open(UiProgram& program) {
    if (::testing::AssertionResult opened = host.open(); !opened) return opened;
    std::string why;
    if (!devicePair.start(&why)) return ::testing::AssertionFailure() << why;
    usePort(program, host);
    program.writeString("Device", "DevicePort", devicePair.portName());
    return ::testing::AssertionSuccess();
}

std::set<std::string> temporaryFiles() {
    std::set<std::string> paths;
    for (const FileEntry& file : filesIn(temporaryFolder(), "*.tmp")) paths.insert(file.path);
    return paths;
}

namespace {

std::vector<std::string> newTemporaryFiles(const std::set<std::string>& before,
                                           std::uint64_t minimumSize) {
    std::vector<std::string> found;
    for (const FileEntry& file : filesIn(temporaryFolder(), "*.tmp")) {
        if (file.size >= minimumSize && before.count(file.path) == 0) found.push_back(file.path);
    }
    return found;
}

}  // namespace

std::vector<std::string> newFiles(const std::set<std::string>& before) {
    return newTemporaryFiles(before, 0);
}

std::vector<std::string> newFilesWithData(const std::set<std::string>& before) {
    return newTemporaryFiles(before, 1);
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

RecordedFile readRecordedFile(const std::string& path) {
    RecordedFile recorded;
    SerialFileReader file;
    if (!file.open(path)) return recorded;
    ChunkReader reader(file, kExportResyncStep);
    Chunk chunk;
    while (reader.next(chunk)) {
        recorded.offsets.push_back(chunk.timeOffset);
        recorded.lengths.push_back(chunk.length);
        recorded.data.append(reinterpret_cast<const char*>(chunk.data), chunk.length);
    }
    return recorded;
}

bool writeSerialFile(const std::string& path,
                     const std::vector<std::pair<std::uint32_t, std::string>>& chunks) {
    SerialFileWriter writer;
    if (!writer.open(path)) return false;
    bool written = true;
    for (const auto& [offset, data] : chunks) {
        written = writer.writeChunk(offset, reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint8_t>(data.size())) &&
                  written;
    }
    return writer.close() && written;
}

std::string fileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "<cannot read " + path + ">";
    std::string bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

bool writeFileBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

UiDialog openDialog(UiProgram& program, int command, const std::string& caption) {
    if (!program.command(command)) return {};
    return program.dialog(caption, kDialogLimit);
}

::testing::AssertionResult closeDialog(UiDialog& dialog, int button) {
    if (!dialog.click(button)) {
        return ::testing::AssertionFailure()
               << "button " << button << " of \"" << dialog.caption()
               << "\" cannot be clicked, or the program does not come back from the click";
    }
    if (!waitUntil([&] { return !dialog.visible(); }, kStateLimit)) {
        return ::testing::AssertionFailure() << "\"" << dialog.caption() << "\" stays open";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult chooseFile(UiProgram& program, const std::string& path) {
    UiDialog files = program.fileDialog(kDialogLimit);
    if (!files) {
        return ::testing::AssertionFailure()
               << "no file dialog within " << kDialogLimit.count() << " s";
    }
    if (!files.typeFileName(path)) {
        return ::testing::AssertionFailure() << "the file dialog's name box takes no text";
    }
    return closeDialog(files, IDOK) << " (file name " << path << ")";
}

::testing::AssertionResult dismissErrorBox(UiProgram& program, std::string& text) {
    UiDialog box = program.dialog("Veltrane Error", kStateLimit);
    if (!box) {
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "no \"Veltrane Error\" box; shown:";
        for (const std::string& caption : program.shownBoxes()) failure << " \"" << caption << "\"";
        return failure;
    }
    text = box.text(0xFFFF);
    return closeDialog(box, IDOK);
}
