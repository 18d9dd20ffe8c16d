// Conversations in the window: with a device port set, Record sits between a program (the test,
// on the far end of the COM port's pair) and a Modbus device (on the far end of the device
// port's pair) and writes what both sent into the working file; Play on a conversation answers
// for its device.
#include <fstream>
#include <iterator>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"
#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/ModbusTestDevice.h"
#include "tests/support/SerialPair.h"

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::string asText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A conversation of requests and their answers, one burst `spacing` after the other.
::testing::AssertionResult writeConversation(const std::string& path,
                                             const std::vector<std::string>& exchanges,
                                             std::uint64_t spacingMicros = 20'000) {
    ConversationWriter writer;
    Failure failure = writer.open(path, {"test", {{"COM1 <-> COM2", "9600 8N1"}}});
    std::uint64_t time = 1'700'000'000'000'000;
    for (std::size_t index = 0; index < exchanges.size() && !failure.happened(); ++index) {
        const std::string& bytes = exchanges[index];
        ConversationBurst burst;
        burst.timeMicros = time += spacingMicros;
        burst.direction = index % 2 == 0 ? Direction::Host : Direction::Device;
        burst.bytes = {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
        failure = writer.write(burst);
    }
    if (const Failure closed = writer.close(); !failure.happened()) failure = closed;
    if (!failure.happened()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << failure.reason();
}

// A rig of two ports recorded on one clock, a request and its answer on each.
::testing::AssertionResult writeTwoPortConversation(const std::string& path) {
    ConversationWriter writer;
    Failure failure = writer.open(path, {"test", {{"COM1", "9600 8N1"}, {"COM2", "19200 8N1"}}});
    const std::pair<std::uint32_t, std::string> bursts[] = {
        {0, "ask one"}, {1, "ask two"}, {0, "answer one"}, {1, "answer two"}};
    std::uint64_t time = 1'700'000'000'000'000;
    for (std::size_t index = 0; index < std::size(bursts) && !failure.happened(); ++index) {
        const auto& [port, bytes] = bursts[index];
        ConversationBurst burst;
        burst.timeMicros = time += 20'000;
        burst.direction = index < 2 ? Direction::Host : Direction::Device;
        burst.bytes = {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
        burst.interfaceIndex = port;
        failure = writer.write(burst);
    }
    if (const Failure closed = writer.close(); !failure.happened()) failure = closed;
    if (!failure.happened()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << failure.reason();
}

// The bursts a conversation file holds so far; 0 while it is no conversation yet.
std::size_t burstsIn(const std::string& path) {
    ConversationReader reader;
    if (reader.open(path).happened()) return 0;
    std::size_t count = 0;
    ConversationBurst burst;
    while (reader.next(burst)) ++count;
    return count;
}

// The program between the test, as the program on the COM port, and a Modbus device on the
// device port.
::testing::AssertionResult startMonitoringScene(UiProgram& program, MonitoringPorts& ports,
                                                ModbusTestDevice& device) {
    if (::testing::AssertionResult opened = ports.open(program); !opened) return opened;
    std::string why;
    if (device.start(SerialPort::devicePath(ports.devicePair.devicePortName()), DeviceSettings{},
                     &why))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why;
}

}  // namespace

TEST(ConversationRecording, TheWorkingFileHoldsWhatBothSidesSentInOrder) {
    MonitoringPorts ports;
    ModbusTestDevice device;
    UiProgram program;
    ASSERT_TRUE(startMonitoringScene(program, ports, device));
    TestDevice& host = ports.host;  // the program that talks to its device through the window
    const std::set<std::string> before = temporaryFiles();
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Monitoring: host 0 bytes, device 0 bytes"));

    std::string requests, answers;
    for (std::uint16_t first : {0, 7, 40}) {
        const std::string query = asText(modbus_rtu::readHoldingRegistersQuery(1, first, 3));
        const std::size_t answerSize =
            modbus_rtu::readHoldingRegistersResponse(1, {0, 0, 0}).size();
        ASSERT_TRUE(host.send(query));
        const std::string answer = host.receive(answerSize, 3s);
        ASSERT_EQ(answer.size(), answerSize) << "no answer through the window to " << first;
        requests += query;
        answers += answer;
    }
    ASSERT_TRUE(statusBecomes(program, "Monitoring: host " + std::to_string(requests.size()) +
                                           " bytes, device " + std::to_string(answers.size()) +
                                           " bytes"));
    EXPECT_EQ(device.answersSent(), 3u);
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Stopped"));

    const std::vector<std::string> written = newFilesWithData(before);
    ASSERT_EQ(written.size(), 1u);
    ConversationReader reader;
    ASSERT_FALSE(reader.open(written[0]).happened()) << reader.failure().reason();
    std::string hostBytes, deviceBytes;
    std::uint64_t lastTime = 0;
    ConversationBurst burst;
    while (reader.next(burst)) {
        EXPECT_GE(burst.timeMicros, lastTime);
        lastTime = burst.timeMicros;
        (burst.direction == Direction::Host ? hostBytes : deviceBytes)
            .append(burst.bytes.begin(), burst.bytes.end());
    }
    EXPECT_FALSE(reader.failure().happened()) << reader.failure().reason();
    EXPECT_EQ(hostBytes, requests);
    EXPECT_EQ(deviceBytes, answers);
    // Save as offers the conversation's own kind: a name without an extension gets .pcapng.
    const std::string saved = program.folder() + "\\monitored";
    ASSERT_TRUE(program.command(ID_SAVE_AS));
    ASSERT_TRUE(chooseFile(program, saved));
    EXPECT_EQ(fileBytes(saved + ".pcapng"), fileBytes(written[0]));
}

TEST(ConversationFiles, ExportWritesEachBurstWithItsTimeAndSide) {
    UiProgram program;
    const std::string file = program.folder() + "\\two.pcapng";
    ASSERT_TRUE(writeConversation(file, {"AB", "xyz"}));
    ASSERT_TRUE(started(program, "\"" + file + "\""));

    const std::string text = program.folder() + "\\two.txt";
    UiDialog dialog = openDialog(program, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, text));
    ASSERT_TRUE(closeDialog(dialog, IDOK));
    // The text is put in place only when whole.
    ASSERT_TRUE(waitUntil([&] { return fileExists(text); }, kStateLimit));
    const std::string exported = fileBytes(text);
    EXPECT_NE(exported.find("0.000000    : host   "), std::string::npos) << exported;
    EXPECT_NE(exported.find("0.020000    : device "), std::string::npos) << exported;
}

TEST(ConversationAnswering, PlayAnswersTheRecordedRequestsAndCountsTheUnknown) {
    TestDevice host;
    ASSERT_TRUE(host.open());
    UiProgram program;
    usePort(program, host);
    const std::string file = program.folder() + "\\answers.pcapng";
    const std::string first = asText(modbus_rtu::readHoldingRegistersQuery(1, 0, 1));
    const std::string second = asText(modbus_rtu::readHoldingRegistersQuery(1, 5, 1));
    const std::string firstAnswer = asText(modbus_rtu::readHoldingRegistersResponse(1, {100}));
    const std::string secondAnswer = asText(modbus_rtu::readHoldingRegistersResponse(1, {105}));
    // Bursts 1.5 s apart: the second request is recorded 3.0 s after the first.
    ASSERT_TRUE(writeConversation(file, {first, firstAnswer, second, secondAnswer}, 1'500'000));
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:04.5");  // its length, read from its end

    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Answering: 0 requests answered, 0 unknown"));
    ASSERT_TRUE(host.send(second));
    EXPECT_EQ(host.receive(secondAnswer.size(), 3s), secondAnswer);
    // The position follows the request answered last.
    EXPECT_TRUE(waitUntil([&] { return program.text(IDC_TIME_DISPLAY) == "00:03.0"; }, 2s))
        << program.text(IDC_TIME_DISPLAY);
    ASSERT_TRUE(host.send(first));
    EXPECT_EQ(host.receive(firstAnswer.size(), 3s), firstAnswer);
    EXPECT_TRUE(waitUntil([&] { return program.text(IDC_TIME_DISPLAY) == "00:00.0"; }, 2s))
        << program.text(IDC_TIME_DISPLAY);
    // Bytes that are neither a recorded request nor Modbus: no answer, counted.
    ASSERT_TRUE(host.send("unknown"));
    EXPECT_TRUE(statusBecomes(program, "Answering: 2 requests answered, 1 unknown"));
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
}

// A Modbus recording also answers reads it never heard, as the device learned from it; the Play
// menu turns that off. A rules file beside the conversation answers too, and is named.
TEST(ConversationAnswering, TheLearnedModbusDeviceAndARulesFileBesideAnswerTooUntilTurnedOff) {
    TestDevice host;
    ASSERT_TRUE(host.open());
    UiProgram program;
    usePort(program, host);
    const std::string file = program.folder() + "\\device.pcapng";
    ASSERT_TRUE(
        writeConversation(file, {asText(modbus_rtu::readHoldingRegistersQuery(1, 0, 2)),
                                 asText(modbus_rtu::readHoldingRegistersResponse(1, {100, 101}))}));
    {
        std::ofstream rules(program.folder() + "\\device.rules", std::ios::binary);
        rules << "when \"PING\\r\\n\"\nanswer \"PONG\\r\\n\"\ndelay 0\n";
    }
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(
        statusBecomes(program, "Answering: 0 requests answered, 0 unknown (rules: device.rules)"));
    const std::string neverAsked = asText(modbus_rtu::readHoldingRegistersQuery(1, 1, 1));
    const std::string itsAnswer = asText(modbus_rtu::readHoldingRegistersResponse(1, {101}));
    ASSERT_TRUE(host.send(neverAsked));
    EXPECT_EQ(host.receive(itsAnswer.size(), 3s), itsAnswer);
    ASSERT_TRUE(host.send("PING\r\n"));
    EXPECT_EQ(host.receive(6, 3s), "PONG\r\n");
    EXPECT_TRUE(
        statusBecomes(program, "Answering: 2 requests answered, 0 unknown (rules: device.rules)"));
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Stopped"));

    ASSERT_TRUE(program.command(ID_ANSWER_WITH_MODBUS));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(
        statusBecomes(program, "Answering: 0 requests answered, 0 unknown (rules: device.rules)"));
    ASSERT_TRUE(host.send(neverAsked));
    EXPECT_TRUE(host.receive(1, 1s).empty());
    EXPECT_TRUE(
        statusBecomes(program, "Answering: 0 requests answered, 1 unknown (rules: device.rules)"));
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
    ASSERT_TRUE(program.command(ID_ANSWER_WITH_MODBUS));  // as it was, for the tests after
}

// The program under test asks and then reads nothing: a megabyte of answer fills the line, and
// Stop still ends the answering at once.
TEST(ConversationAnswering, StopEndsAnAnswerThatTheHostDoesNotRead) {
    TestDevice host;
    ASSERT_TRUE(host.open());
    UiProgram program;
    usePort(program, host);
    const std::string file = program.folder() + "\\held.pcapng";
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"COM1 <-> COM2", "9600 8N1"}}}).happened());
        const std::uint64_t time = 1'700'000'000'000'000;
        ASSERT_FALSE(writer.write({time, Direction::Host, 0, bytesOf("MEAS?")}).happened());
        const std::vector<std::uint8_t> part(16 * 1024, 'x');
        for (int i = 0; i < 64; ++i)
            ASSERT_FALSE(writer.write({time + 1000, Direction::Device, 0, part}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Answering: 0 requests answered, 0 unknown"));
    ASSERT_TRUE(host.send("MEAS?"));
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    EXPECT_TRUE(statusBecomes(program, "Stopped", 3s));
}

TEST(ConversationPlayback, OnScheduleChosenInThePlayMenuSendsTheDevicesBytesAlone) {
    TestDevice host;
    ASSERT_TRUE(host.open());
    UiProgram program;
    usePort(program, host);
    const std::string file = program.folder() + "\\schedule.pcapng";
    ASSERT_TRUE(writeConversation(file, {"ask", "first answer", "ask again", "second answer"}));
    ASSERT_TRUE(started(program, "\"" + file + "\""));

    EXPECT_EQ(menuDifferences(program, {{ID_PLAY_PORT_FIRST, kAbsent}}), "");  // one port

    ASSERT_TRUE(program.command(ID_PLAY_ON_SCHEDULE));
    DWORD choice = 0;
    EXPECT_TRUE(program.readDword("Window", "ConversationPlay", choice));
    EXPECT_EQ(choice, 1u);
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    EXPECT_EQ(host.receive(25, 3s), "first answersecond answer");
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
}

// A file of two ports: the data view tells each row's port, the Play menu offers each port, and
// the one chosen is played or answered alone; opening a file again chooses its first port again.
TEST(ConversationPorts, ThePortChosenInThePlayMenuPlaysAndAnswersAlone) {
    TestDevice host;
    ASSERT_TRUE(host.open());
    UiProgram program;
    usePort(program, host);
    const std::string file = program.folder() + "\\rig.pcapng";
    ASSERT_TRUE(writeTwoPortConversation(file));
    ASSERT_TRUE(program.writeDword("Window", "DataView", 1));
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    ASSERT_TRUE(waitUntil([&] { return program.listRows(IDC_DATA_VIEW) == 4; }, kStateLimit));
    EXPECT_EQ(program.listText(IDC_DATA_VIEW, 3, 5), "2: COM2");  // each row's port
    const int second = ID_PLAY_PORT_FIRST + 1;
    EXPECT_EQ(menuDifferences(program, {{ID_PLAY_PORT_FIRST, kEnabledChecked},
                                        {second, kEnabled},
                                        {second + 1, kAbsent}}),
              "");
    ASSERT_TRUE(program.command(second));
    EXPECT_EQ(menuDifferences(program, {{ID_PLAY_PORT_FIRST, kEnabled}, {second, kEnabledChecked}}),
              "");

    ASSERT_TRUE(program.command(ID_PLAY_ON_SCHEDULE));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    EXPECT_EQ(host.receive(10, 3s), "answer two");
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
    EXPECT_TRUE(host.receive(1, 500ms).empty());  // nothing of the first port's

    ASSERT_TRUE(program.command(ID_ANSWER_AS_DEVICE));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Answering: 0 requests answered, 0 unknown"));
    ASSERT_TRUE(host.send("ask two"));
    EXPECT_EQ(host.receive(10, 3s), "answer two");
    ASSERT_TRUE(host.send("ask one"));  // the other port's request
    EXPECT_TRUE(statusBecomes(program, "Answering: 1 requests answered, 1 unknown"));
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Stopped"));

    ASSERT_TRUE(program.command(ID_RECENT_FILE_FIRST));  // the same file, opened again
    EXPECT_EQ(menuDifferences(program, {{ID_PLAY_PORT_FIRST, kEnabledChecked}, {second, kEnabled}}),
              "");
}

TEST(ConversationRecording, AConversationLeftByAKilledProgramIsOfferedAndSavedAsOne) {
    MonitoringPorts ports;
    ModbusTestDevice device;
    UiProgram program;
    ASSERT_TRUE(startMonitoringScene(program, ports, device));
    TestDevice& host = ports.host;
    ASSERT_TRUE(started(program));
    const std::vector<std::string> claims = program.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);

    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Monitoring: host 0 bytes, device 0 bytes"));
    const std::string query = asText(modbus_rtu::readHoldingRegistersQuery(1, 3, 2));
    ASSERT_TRUE(host.send(query));
    ASSERT_EQ(host.receive(9, 3s).size(), 9u);
    ASSERT_TRUE(waitUntil([&] { return burstsIn(claims[0]) >= 2; }, 5s))
        << "the conversation did not reach the file while it ran";
    const std::string left = fileBytes(claims[0]);
    ASSERT_TRUE(program.kill());

    ASSERT_TRUE(started(program));
    UiDialog question = program.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(question) << "the left-behind conversation was not offered";
    ASSERT_TRUE(closeDialog(question, IDYES));
    const std::string saved = program.folder() + "\\recovered";
    ASSERT_TRUE(program.command(ID_SAVE_AS));
    ASSERT_TRUE(chooseFile(program, saved));
    EXPECT_EQ(fileBytes(saved + ".pcapng"), left);
}
