#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "convert/Import.h"
#include "convert/TextExport.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::uint32_t offset;
    Bytes data;
    bool operator==(const Chunk&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Chunk& chunk) {
    out << "@" << chunk.offset << "{";
    for (auto byte : chunk.data) out << ' ' << std::hex << int(byte) << std::dec;
    return out << " }";
}

// Reads back a serial file that must be made of well-formed chunks only.
std::vector<Chunk> parseChunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    std::size_t at = 0;
    while (at < file.size()) {
        EXPECT_GE(file.size() - at, 8u) << "cut chunk at " << at;
        if (file.size() - at < 8) break;
        EXPECT_EQ(file[at], 0x53);
        EXPECT_EQ(file[at + 1], 0x01);
        std::uint32_t offset = file[at + 2] | file[at + 3] << 8 | file[at + 4] << 16 |
                               static_cast<std::uint32_t>(file[at + 5]) << 24;
        std::size_t length = file[at + 6];
        EXPECT_GE(length, 1u);
        EXPECT_LE(length, 10u);
        if (file.size() - at < 8 + length) break;
        chunks.push_back({offset, Bytes(file.begin() + at + 7, file.begin() + at + 7 + length)});
        EXPECT_EQ(file[at + 7 + length], 0x0A);
        at += 8 + length;
    }
    return chunks;
}

Bytes text(const std::string& characters) { return Bytes(characters.begin(), characters.end()); }

Bytes counting(std::size_t count) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(i);
    return out;
}

class ImportTest : public ::testing::Test {
protected:
    ImportTest() {
        profile.writeInt("Logging", "LoggingOn", 1);
        profile.writeInt("Logging", "AppendFile", 0);
        profile.writeString("Logging", "LogFile", logPath);
        profile.writeInt("Logging", "ShowDate", 0);
    }

    std::vector<Chunk> import(const Bytes& input, ImportFormat format, int speed = 9600) {
        std::string in = dir.file("input" + std::to_string(files++));
        EXPECT_TRUE(writeWholeFile(in, input));
        LogWriter log(loadLogSettings(profile));
        result = importToSerialFile(in, output, speed, format, log);
        EXPECT_EQ(result.status, ImportStatus::Converted);
        return parseChunks(readWholeFile(output));
    }
    std::string logText() {
        auto bytes = readWholeFile(logPath);
        return std::string(bytes.begin(), bytes.end());
    }

    TempDir dir;
    std::string logPath = dir.file("serial.log");
    std::string output = dir.file("work.ser");
    MemoryProfile profile;
    ImportResult result;
    int files = 0;
};

TEST_F(ImportTest, RawInputIsCutIntoTensAtTheSpeedsPace) {
    auto input = counting(25);
    EXPECT_EQ(import(input, ImportFormat::RawBytes, 300),
              (std::vector<Chunk>{{0, Bytes(input.begin(), input.begin() + 10)},
                                  {3, Bytes(input.begin() + 10, input.begin() + 20)},
                                  {6, Bytes(input.begin() + 20, input.end())}}));
    EXPECT_EQ(result.chunks, 3u);
    EXPECT_EQ(result.bytes, 25u);
}

TEST_F(ImportTest, ExactlyTenRawBytesGiveOneChunk) {
    EXPECT_EQ(import(counting(10), ImportFormat::RawBytes),
              (std::vector<Chunk>{{0, counting(10)}}));
}

TEST_F(ImportTest, EmptyInputMakesAnEmptySerialFile) {
    EXPECT_TRUE(import({}, ImportFormat::RawBytes).empty());
    EXPECT_TRUE(import(text(" \r\n\t"), ImportFormat::HexText).empty());
    EXPECT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(logText(), "");
}

TEST_F(ImportTest, OffsetsFollowTheRunningSumAtEachSpeed) {
    struct {
        int speed;
        std::vector<std::uint32_t> offsets;
    } const cases[] = {
        {110, {0, 9, 18, 27, 36, 45, 54, 63, 72, 81}},
        {300, {0, 3, 6, 10, 13, 16, 19, 23, 26, 30}},
        {1200, {0, 0, 1, 2, 3, 4, 4, 5, 6, 7}},
        {9600, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2}},
        {115200, std::vector<std::uint32_t>(25, 0)},
        {460800, std::vector<std::uint32_t>(25, 0)},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.speed);
        auto chunks =
            import(counting(10 * test.offsets.size()), ImportFormat::RawBytes, test.speed);
        std::vector<std::uint32_t> offsets;
        for (const auto& chunk : chunks) offsets.push_back(chunk.offset);
        EXPECT_EQ(offsets, test.offsets);
    }
}

TEST_F(ImportTest, HexTextGivesItsNumbersInChunksOfTen) {
    const std::vector<Chunk> oneTwoThree{{0, {1, 2, 3}}};
    EXPECT_EQ(import(text("01 02 03"), ImportFormat::HexText), oneTwoThree);
    EXPECT_EQ(import(text("01 02 03\r\n"), ImportFormat::HexText), oneTwoThree);
    EXPECT_EQ(import(text("010203\n"), ImportFormat::HexText), oneTwoThree);
    EXPECT_EQ(import(text("ABC"), ImportFormat::HexText), (std::vector<Chunk>{{0, {0xAB, 0x0C}}}));
    // Lines do not matter: chunks are cut every ten numbers.
    EXPECT_EQ(import(text("00 01 02\n03 04 05 06 07 08 09 0a\n0B\n"), ImportFormat::HexText, 300),
              (std::vector<Chunk>{{0, counting(10)}, {3, {0x0A, 0x0B}}}));
}

TEST_F(ImportTest, SeparatorsAndGarbageArePassedOverKeepingEveryByte) {
    EXPECT_EQ(import(text("0A,0B;0C"), ImportFormat::HexText),
              (std::vector<Chunk>{{0, {0x0A, 0x0B, 0x0C}}}));
    EXPECT_EQ(import(text("00,01,02,03,04,05,06,07,08,09,0A,0B,"), ImportFormat::HexText, 300),
              (std::vector<Chunk>{{0, counting(10)}, {3, {0x0A, 0x0B}}}));
    // Garbage last, and garbage that would have stopped the C library's reader for good.
    EXPECT_EQ(import(text("12 zz 34 ; ... ghij"), ImportFormat::HexText),
              (std::vector<Chunk>{{0, {0x12, 0x34}}}));
    EXPECT_EQ(import(text("nothing? just junk!"), ImportFormat::HexText), std::vector<Chunk>{});
}

TEST_F(ImportTest, RawRoundTripThroughExportKeepsEveryByte) {
    std::mt19937 random(3);
    Bytes input(300'001);
    for (auto& byte : input) byte = random();
    auto chunks = import(input, ImportFormat::RawBytes, 115200);
    EXPECT_EQ(chunks.size(), 30'001u);
    ExportOptions raw;
    raw.exportType = ExportType::RawBytes;
    raw.fileName = dir.file("raw.bin");
    ASSERT_EQ(exportToText(output, raw).status, ExportStatus::Exported);
    EXPECT_TRUE(readWholeFile(raw.fileName) == input);
}

// The program's own hex form (no heading or columns) imports back byte for byte.
TEST_F(ImportTest, HexExportImportsBack) {
    auto input = counting(256);
    import(input, ImportFormat::RawBytes);
    ExportOptions hex;
    hex.exportType = ExportType::HexText;
    hex.showHeading = hex.showTimeOffset = hex.showDataPosition = false;
    hex.fileName = dir.file("hex.txt");
    ASSERT_EQ(exportToText(output, hex).status, ExportStatus::Exported);
    Bytes back;
    for (const auto& chunk : import(readWholeFile(hex.fileName), ImportFormat::HexText))
        back.insert(back.end(), chunk.data.begin(), chunk.data.end());
    EXPECT_TRUE(back == input);
}

// The input is opened first: a wrong name leaves an existing output as it was. Each failure
// is logged and shown with the file's name and the system's reason.
TEST_F(ImportTest, OpenFailuresAreShownAndLoggedAndMakeNothing) {
    ASSERT_TRUE(writeWholeFile(output, text("old contents")));
    const std::string missing = dir.file("missing.bin");
    {
        LogWriter log(loadLogSettings(profile));
        auto failed = importToSerialFile(missing, output, 9600, ImportFormat::HexText, log);
        EXPECT_EQ(failed.failure.kind, Failure::Kind::OpenInput);
        EXPECT_EQ(failed.failure.subject, missing);
        EXPECT_EQ(failed.failure.error, cLibraryError(ENOENT));
    }
    EXPECT_EQ(logText(), "Error opening file to import from: " + missing + "\r\n");
    EXPECT_EQ(readWholeFile(output), text("old contents"));

    const std::string input = dir.file("input.bin");
    ASSERT_TRUE(writeWholeFile(input, text("data")));
    const std::string target = dir.file("no-such-folder") + "/work.ser";
    {
        LogWriter log(loadLogSettings(profile));
        auto failed = importToSerialFile(input, target, 9600, ImportFormat::RawBytes, log);
        EXPECT_EQ(failed.failure.kind, Failure::Kind::CreateOutput);
        EXPECT_EQ(failed.failure.subject, target);
        EXPECT_EQ(failed.failure.error, cLibraryError(ENOENT));
    }
    EXPECT_EQ(logText(), "Error opening file to import to: " + target + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(target));
}

}  // namespace
