// A port that will not open at Record or Play, or that goes away during a recording that does
// not reconnect, is named in the window with the system's reason: once in an error box, and in
// the status line until the next run. A port that does not open is a COM name that the prefix
// maps to nothing. A recording that reconnects goes on once its port is back.
#include "app/tests/ui/UiTestSupport.h"

namespace {

constexpr const char* kNoSuchPort = "COM199";
constexpr const char* kStatusText = "Port COM199 could not be opened";

// The box's text begins with `expected` and goes on with a reason; no second box follows.
void expectOneBoxNamingThePort(UiProgram& program, const std::string& expected,
                               const std::string& statusText = kStatusText) {
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program, text));
    EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
    EXPECT_GT(text.size(), expected.size()) << "no reason given";
    EXPECT_TRUE(statusBecomes(program, statusText));
    EXPECT_FALSE(program.dialog("Veltrane Error", 1500ms)) << "the failure was told twice";
}

}  // namespace

TEST(PortFailure, RecordOnAPortThatDoesNotOpenSaysSoAndStaysStopped) {
    UiProgram program;
    program.writeString("Device", "Port", kNoSuchPort);
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    expectOneBoxNamingThePort(
        program, "The recording could not start: the port COM199 could not be opened.\r\n");
    EXPECT_TRUE(program.enabled(IDC_RECORD_BUTTON));
    EXPECT_FALSE(program.enabled(IDC_STOP_BUTTON));
}

TEST(PortFailure, PlayOnAPortThatDoesNotOpenSaysSoAndStaysStopped) {
    UiProgram program;
    program.writeString("Device", "Port", kNoSuchPort);
    const std::string file = program.folder() + "\\short.ser";
    ASSERT_TRUE(writeSerialFile(file, {{0, "abc"}, {10, "def"}}));
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    ASSERT_TRUE(waitUntil([&] { return program.enabled(IDC_PLAY_BUTTON); }, kStateLimit))
        << "the file did not open";
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    expectOneBoxNamingThePort(program,
                              "Playing could not start: the port COM199 could not be opened.\r\n");
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
}

TEST(PortFailure, RecordingWhosePortGoesAwayStopsSaysSoAndKeepsWhatCame) {
    TestDevice device;
    ASSERT_TRUE(device.open());
    UiProgram program;
    usePort(program, device);
    ASSERT_TRUE(program.writeDword("Device", "Reconnect", 0));
    ASSERT_TRUE(started(program));
    const std::vector<std::string> claims = program.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);
    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Recording"));
    ASSERT_TRUE(device.send("before the end\r\n"));
    ASSERT_TRUE(waitUntil([&] { return !readRecordedFile(claims[0]).data.empty(); }, kStateLimit));
    ASSERT_TRUE(device.goAway());
    const std::string port = device.programPort();
    expectOneBoxNamingThePort(program,
                              "The recording was stopped: the port " + port + " failed.\r\n",
                              "Port " + port + " failed");
    EXPECT_EQ(readRecordedFile(claims[0]).data, "before the end\r\n");
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
}

TEST(PortFailure, RecordingWhosePortComesBackGoesOnInTheSameFile) {
    TestDevice device;
    ASSERT_TRUE(device.open());
    UiProgram program;
    usePort(program, device);
    ASSERT_TRUE(started(program));
    const std::vector<std::string> claims = program.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);
    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Recording"));
    ASSERT_TRUE(device.send("before\r\n"));
    ASSERT_TRUE(waitUntil([&] { return !readRecordedFile(claims[0]).data.empty(); }, kStateLimit));
    ASSERT_TRUE(device.unplug());
    EXPECT_FALSE(program.dialog("Veltrane Error", 1500ms)) << "the recording ended";
    ASSERT_TRUE(device.plugBackIn());
    ASSERT_TRUE(device.send("after\r\n"));
    EXPECT_TRUE(waitUntil([&] { return readRecordedFile(claims[0]).data == "before\r\nafter\r\n"; },
                          kStateLimit))
        << readRecordedFile(claims[0]).data;
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    EXPECT_TRUE(
        waitUntil([&] { return transportControlsOf(program) == kStoppedWithFile; }, kStateLimit));
}
