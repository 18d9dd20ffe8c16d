// info, export and import as the command line runs them: their figures, their output and how
// they fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ChunkBytes.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/TempDir.h"

namespace {

Bytes chunk(std::uint32_t offset, const std::string& data,
            std::optional<std::uint8_t> terminator = 0x0A) {
    return chunkBytes(offset, Bytes(data.begin(), data.end()), terminator);
}

std::string readBack(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
    return text;
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What main does with the words after the program's name, with both streams caught.
Outcome run(const std::vector<std::string>& words, bool showProgress = false) {
    Outcome outcome;
    for (const Command& command : commands()) {
        if (command.name != words.at(0)) continue;
        std::vector<OptionSpec> accepted = command.options;
        accepted.push_back({"--quiet", false, "-q"});
        std::string error;
        auto arguments = Arguments::parse({words.begin() + 1, words.end()}, accepted, &error);
        Console console{std::tmpfile(), std::tmpfile(), showProgress};
        outcome.exitCode = arguments ? command.run(*arguments, console)
                                     : reportUsageError(console, command.name, error);
        outcome.out = readBack(console.out);
        outcome.err = readBack(console.err);
        std::fclose(console.out);
        std::fclose(console.err);
    }
    return outcome;
}

class FileCommands : public ::testing::Test {
protected:
    std::string put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }
    std::string fileText(const std::string& path) {
        const Bytes bytes = readWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    }
    TempDir dir;
};

TEST_F(FileCommands, InfoCountsChunksGarbageAndACutEndInOnePass) {
    const std::string tidy =
        put("tidy.ser", join({chunk(0, "AB"), chunk(15, "\r\n"), chunk(60012, "xyz")}));
    Outcome info = run({"info", tidy});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "file:           " + tidy +
                            "\n"
                            "file size:      31 bytes\n"
                            "chunks:         3\n"
                            "data bytes:     7\n"
                            "duration:       100:01.2 (60012 tenths)\n"
                            "first offset:   00:00.0 (0 tenths)\n"
                            "last offset:    100:01.2 (60012 tenths)\n"
                            "longest gap:    99:59.7 (59997 tenths)\n"
                            "garbage bytes:  0\n"
                            "last chunk cut: no\n");

    // A stray 0x53 before a marker, and bytes between and after the chunks.
    const std::string damaged =
        put("damaged.ser", join({{'z', 0x53}, chunk(3, "AB"), {'q', 'q'}, chunk(9, "C"), {0x01}}));
    info = run({"info", damaged, "--json"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    std::string jsonPath;  // a Windows path's backslashes are escaped in JSON
    for (char c : damaged) jsonPath += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(info.out, "{\"file\": \"" + jsonPath +
                            "\", \"file_size\": 24, \"chunks\": 2"
                            ", \"data_bytes\": 3, \"duration\": \"00:00.9\", \"duration_tenths\": 9"
                            ", \"first_offset_tenths\": 3, \"last_offset_tenths\": 9"
                            ", \"longest_gap_tenths\": 6, \"garbage_bytes\": 5"
                            ", \"last_chunk_cut\": false}\n");

    // Cut in its data, and cut only before its terminator: neither is a whole chunk, and the
    // window's duration is the last whole one's.
    Bytes cutInData = chunk(7, "CD");
    cutInData.resize(cutInData.size() - 2);
    for (const Bytes& cut : {cutInData, chunk(7, "CD", std::nullopt)}) {
        const std::string path = put("cut.ser", join({chunk(2, "AB"), cut}));
        info = run({"info", path, "--json"});
        EXPECT_EQ(info.exitCode, 0) << info.err;
        EXPECT_NE(info.out.find("\"chunks\": 1, \"data_bytes\": 2, \"duration\": \"00:00.2\""),
                  std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("\"garbage_bytes\": " + std::to_string(cut.size()) +
                                ", \"last_chunk_cut\": true}"),
                  std::string::npos)
            << info.out;
    }

    // Without a whole chunk the window opens nothing: no duration, no offsets.
    info = run({"info", put("none.ser", {'x', 0x53, 0x01, 0})});
    EXPECT_NE(info.out.find("duration:       none\nfirst offset:   none\n"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("garbage bytes:  4\nlast chunk cut: yes\n"), std::string::npos)
        << info.out;
}

TEST_F(FileCommands, ExportToStandardOutputEqualsExportToAFile) {
    const std::string serial = put("in.ser", join({chunk(0, "AB\x01"), chunk(15, "\r\n")}));
    const std::string file = dir.file("out.txt");
    const Outcome toFile = run({"export", serial, "--format", "hex", "--no-position", "-o", file});
    const Outcome toStdout = run({"export", serial, "--format=hex", "--no-position", "-o", "-"});
    ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(fileText(file),
              "Time(seconds) Datapos   Data...\r\n"
              "0.000000    :0x41 0x42 0x01 \r\n"
              "1.500000    :0x0D 0x0A \r\n");
    EXPECT_EQ(toStdout.out, fileText(file));
    // No -o is standard output as well, in the dialog's opening form.
    EXPECT_EQ(run({"export", serial, "--no-time", "--no-heading"}).out,
              " 00000000 AB.\r\n 00000003 ..\r\n");
}

TEST_F(FileCommands, MistakesExitTwoAndFailuresExitOneInOneLine) {
    const std::string serial = put("in.ser", chunk(0, "AB"));
    const std::vector<std::vector<std::string>> mistakes = {
        {"info"},
        {"export", serial, "--format", "bin"},
        {"export", serial, "extra"},
        {"import", serial},  // no -o
        {"import", serial, "--baud", "0", "-o", dir.file("x.ser")},
        {"import", serial, "--format", "octal", "-o", dir.file("x.ser")},
        {"import", serial, "--bad"},
        {"export", serial, "-o", serial},  // would empty the serial file first
    };
    for (const auto& words : mistakes) {
        const Outcome outcome = run(words);
        EXPECT_EQ(outcome.exitCode, 2) << words.back();
        EXPECT_EQ(outcome.err.rfind("veltrane-cli " + words[0] + ": ", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    }

    const std::string missing = dir.file("missing.ser");
    const std::string folder = dir.path().string();
    const std::vector<std::vector<std::string>> failures = {
        {"info", missing},
        {"info", folder},  // opens as a file on POSIX, and its read fails
        {"export", missing, "-o", dir.file("never.txt")},
        {"export", folder, "-o", dir.file("never.txt")},
        {"import", missing, "-o", dir.file("never.ser")},
    };
    for (const auto& words : failures) {
        const Outcome outcome = run(words);
        EXPECT_EQ(outcome.exitCode, 1) << words[1];
        EXPECT_EQ(outcome.err.rfind("veltrane-cli " + words[0] + ": ", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find(words[1]), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.ser")));

    // One failure reads the same in every command, after the command's name.
    std::set<std::string> missingLines;
    const std::vector<std::vector<std::string>> missingInputs = {
        {"info", missing},
        {"export", missing, "-o", dir.file("never.txt")},
        {"import", missing, "-o", dir.file("never.ser")},
        {"play", missing, "--port", "COM99"},  // the file is looked at before the port
    };
    for (const auto& words : missingInputs) {
        const Outcome outcome = run(words);
        const std::string prefix = "veltrane-cli " + words[0] + ": ";
        ASSERT_EQ(outcome.err.rfind(prefix, 0), 0u) << outcome.err;
        missingLines.insert(outcome.err.substr(prefix.size()));
    }
    EXPECT_EQ(missingLines.size(), 1u);
    EXPECT_EQ(missingLines.begin()->rfind("cannot open " + missing + ": ", 0), 0u);
    const Bytes untouched = chunk(0, "AB");
    EXPECT_EQ(fileText(serial), std::string(untouched.begin(), untouched.end()));
}

}  // namespace

TEST_F(FileCommands, ConversionsShowBytesDoneOfTheInputOnATerminalOnly) {
    Bytes big;
    while (big.size() < 600 * 1024) {
        const Bytes one = chunk(static_cast<std::uint32_t>(big.size()), std::string(200, 'x'));
        big.insert(big.end(), one.begin(), one.end());
    }
    const std::string serial = put("big.ser", big);
    const std::string size = std::to_string(big.size());
    const Outcome exported = run({"export", serial, "-o", dir.file("out.txt")}, true);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.err.find(size + " of " + size + " bytes  100%  " + serial),
              std::string::npos)
        << exported.err;
    EXPECT_EQ(exported.err.back(), '\n');  // the line is ended

    const Outcome imported = run({"import", serial, "-o", dir.file("back.ser")}, true);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.err.find(" of " + size + " bytes  100%  " + serial), std::string::npos)
        << imported.err;
    EXPECT_EQ(run({"export", serial, "-o", dir.file("quiet.txt")}).err, "");
}

namespace {

// Two answered requests of the same bytes, a device burst before the first, and a last request
// the file ends before the device answered.
std::string writeConversation(const std::string& path) {
    ConversationWriter writer;
    EXPECT_FALSE(writer.open(path, {"test", {{"COM1 <-> COM2", "9600 8N1"}}}).happened());
    const std::uint64_t start = 1'700'000'000'000'000;
    const std::pair<std::uint64_t, std::pair<Direction, std::string>> bursts[] = {
        {0, {Direction::Device, "boot"}},    {10, {Direction::Host, "AB"}},
        {20, {Direction::Host, "C"}},        {540, {Direction::Device, "answer"}},
        {700, {Direction::Device, "!"}},     {100'000, {Direction::Host, "ABC"}},
        {100'900, {Direction::Device, "x"}}, {200'000, {Direction::Host, "Q"}},
    };
    for (const auto& [micros, burst] : bursts) {
        const std::string& text = burst.second;
        const ConversationBurst written{
            start + micros,
            burst.first,
            0,
            {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}};
        EXPECT_FALSE(writer.write(written).happened());
    }
    EXPECT_FALSE(writer.close().happened());
    return path;
}

}  // namespace

TEST_F(FileCommands, InfoAndExportReadAConversationFileByItsExtension) {
    const std::string path = writeConversation(dir.file("talk.pcapng"));
    Outcome info = run({"info", path, "--json"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    for (const char* field : {"\"host_bursts\": 4", "\"device_bursts\": 4", "\"host_bytes\": 7",
                              "\"device_bytes\": 12", "\"requests\": 3", "\"distinct_requests\": 2",
                              "\"unanswered_requests\": 1", "\"answer_time_p50_ms\": 0.520",
                              "\"answer_time_max_ms\": 0.900", "\"duration_us\": 200000"}) {
        EXPECT_NE(info.out.find(field), std::string::npos) << field << " in " << info.out;
    }

    const Outcome exported = run({"export", path, "--format", "ascii", "--no-heading"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out.rfind("0.000000    : device boot\r\n0.000010    : host   AB\r\n", 0), 0u)
        << exported.out;
    EXPECT_NE(exported.out.find("0.200000    : host   Q\r\n"), std::string::npos);
    EXPECT_EQ(run({"export", path, "--format", "raw"}).out, "bootABCanswer!ABCxQ");

    // A clock set back a little: the burst shows before the first, the duration is unchanged.
    ConversationWriter stepBack;
    const std::string stepped = dir.file("stepped.pcapng");
    ASSERT_FALSE(stepBack.open(stepped, {"test", {{"COM1", "9600 8N1"}}}).happened());
    const std::uint8_t one[] = {'1'};
    for (std::uint64_t micros : {1'000'300'000u, 1'000'800'000u, 1'000'000'000u})
        ASSERT_FALSE(stepBack.write({micros, Direction::Device, 0, one}).happened());
    ASSERT_FALSE(stepBack.close().happened());
    EXPECT_EQ(run({"export", stepped, "--format", "ascii", "--no-heading"}).out,
              "0.000000    : device 1\r\n0.500000    : device 1\r\n-0.300000   : device 1\r\n");
    EXPECT_NE(run({"info", stepped, "--json"}).out.find("\"duration_us\": 500000"),
              std::string::npos);

    // What the line did: counted by kind and listed among the bursts, whose figures and raw form
    // stay as they were; a file without such events tells nothing of them.
    EXPECT_EQ(info.out.find("line_events"), std::string::npos);
    EXPECT_EQ(run({"info", path}).out.find("line events"), std::string::npos);
    const std::string lines = dir.file("lines.pcapng");
    ConversationWriter withEvents;
    ASSERT_FALSE(withEvents.open(lines, {"test", {{"COM1", "9600 8N1"}}}).happened());
    using enum LineEventKind;
    const std::uint8_t dtr = control_line::kDtr;
    const std::uint8_t ab[] = {'A', 'B'};
    ASSERT_FALSE(
        withEvents.writeLineEvent(1'000'000, Direction::Host, 0, {ControlLines, dtr}).happened());
    ASSERT_FALSE(withEvents.write({1'000'010, Direction::Host, dtr, ab}).happened());
    for (std::uint64_t micros : {1'000'500u, 1'000'600u})
        ASSERT_FALSE(
            withEvents.writeLineEvent(micros, Direction::Device, dtr, {FramingError}).happened());
    ASSERT_FALSE(withEvents
                     .writeLineEvent(1'002'000, Direction::Host, dtr,
                                     {LineSettings, 0, 19200, 8, Parity::Even})
                     .happened());
    ASSERT_FALSE(withEvents.close().happened());
    EXPECT_EQ(run({"export", lines, "--format", "ascii", "--no-heading"}).out,
              "0.000000    : host   [control lines: DTR]\r\n0.000010    : host   AB\r\n"
              "0.000500    : device [framing error]\r\n0.000600    : device [framing error]\r\n"
              "0.002000    : host   [line settings: 19200 8E1]\r\n");
    EXPECT_EQ(run({"export", lines, "--format", "raw"}).out, "AB");
    const std::string counted = run({"info", lines}).out;
    EXPECT_NE(counted.find("bytes:          2 from the host, 0 from the device\n"
                           "requests:       1 (1 distinct, 1 unanswered)\n"),
              std::string::npos)
        << counted;
    EXPECT_NE(counted.find("\nline events:    control lines 1, framing error 2, line settings 1\n"
                           "last block cut: no\n"),
              std::string::npos)
        << counted;
    EXPECT_NE(run({"info", lines, "--json"})
                  .out.find("\"line_events\": {\"control_lines\": 1, \"break_start\": 0, "
                            "\"break_end\": 0, \"framing_error\": 2, \"parity_error\": 0, "
                            "\"line_settings\": 1, \"data_lost\": 0}, \"last_block_cut\": false}"),
              std::string::npos);

    // Not a conversation: one line naming the file and what is wrong.
    const std::string damaged = put("damaged.pcapng", Bytes(64, 0x55));
    const Outcome bad = run({"info", damaged});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err.rfind("veltrane-cli info: cannot ", 0), 0u) << bad.err;
    EXPECT_NE(bad.err.find(damaged), std::string::npos) << bad.err;
}

TEST_F(FileCommands, InfoTellsTheModbusSlaveAConversationTeachesAndWritesItsMap) {
    const std::string path = dir.file("meter.pcapng");
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, {"test", {{"COM1 <-> COM2", "9600 8N1"}}}).happened());
    using namespace modbus_rtu;
    const std::pair<std::uint64_t, Bytes> bursts[] = {
        {0, readHoldingRegistersQuery(1, 0, 3)},
        {1000, readHoldingRegistersResponse(1, {10, 11, 12})},
        {10'000, readHoldingRegistersQuery(1, 5, 1)},
        {12'000, readHoldingRegistersResponse(1, {50})},
        {20'000, readHoldingRegistersQuery(1, 0, 1)},
        {21'000, readHoldingRegistersResponse(1, {9})},
    };
    bool fromHost = true;
    for (const auto& [micros, bytes] : bursts) {
        const Direction direction = fromHost ? Direction::Host : Direction::Device;
        ASSERT_FALSE(
            writer.write({1'700'000'000'000'000 + micros, direction, 0, bytes}).happened());
        fromHost = !fromHost;
    }
    ASSERT_FALSE(writer.close().happened());

    const std::string map = dir.file("meter.csv");
    const Outcome info = run({"info", path, "--modbus", "--modbus-map", map});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "file:           " + path +
                            "\n"
                            "Modbus framing: RTU\n"
                            "unit 1:         functions 3 (read holding registers)\n"
                            "  holding:      0-2, 5 (4 addresses, 5 values)\n"
                            "  answer time:  function 3 1.000 ms\n");
    EXPECT_EQ(fileText(map),
              "unit,table,address,value\n1,holding,0,10\n1,holding,0,9\n1,holding,1,11\n"
              "1,holding,2,12\n1,holding,5,50\n");

    const Outcome onItself = run({"info", path, "--modbus-map", path});
    EXPECT_EQ(onItself.exitCode, 2);
    EXPECT_NE(onItself.err.find("cannot write the map into " + path), std::string::npos)
        << onItself.err;
    EXPECT_EQ(run({"info", put("any.ser", {}), "--modbus"}).exitCode, 2);
}
