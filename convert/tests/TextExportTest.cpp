#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "convert/TextExport.h"
#include "tests/support/ChunkBytes.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

namespace {

ExportOptions options(ExportType type, bool time, bool heading, bool position) {
    ExportOptions chosen;
    chosen.exportType = type;
    chosen.showTimeOffset = time;
    chosen.showHeading = heading;
    chosen.showDataPosition = position;
    return chosen;
}

ExportOptions allOff(ExportType type) { return options(type, false, false, false); }

class TextExportTest : public ::testing::Test {
protected:
    std::string put(const Bytes& bytes) {
        std::string path = dir.file("in" + std::to_string(files++) + ".ser");
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }
    // Exports to a fresh file and gives back its text.
    std::string run(const Bytes& serial, ExportOptions chosen) {
        chosen.fileName = dir.file("out" + std::to_string(files++) + ".txt");
        EXPECT_EQ(exportToText(put(serial), chosen).status, ExportStatus::Exported);
        auto bytes = readWholeFile(chosen.fileName);
        return std::string(bytes.begin(), bytes.end());
    }

    TempDir dir;
    int files = 0;
};

const Bytes kWorkedExample = join({chunkBytes(0, {0x41, 0x42}), chunkBytes(15, {0x0D, 0x0A})});

struct WorkedCase {
    const char* name;
    ExportOptions chosen;
    const char* expected;
};

TEST_F(TextExportTest, WorkedExampleInEveryFormAndColumnChoice) {
    const WorkedCase cases[] = {
        {"ascii, all on", options(ExportType::AsciiText, true, true, true),
         "Time(seconds) Datapos   Data...\r\n"
         "0.000000    : 00000000 AB\r\n"
         "1.500000    : 00000002 ..\r\n"},
        {"binary, all on", options(ExportType::HexText, true, true, true),
         "Time(seconds) Datapos   Data...\r\n"
         "0.000000    : 00000000 0x41 0x42 \r\n"
         "1.500000    : 00000002 0x0D 0x0A \r\n"},
        {"raw, all on", options(ExportType::RawBytes, true, true, true), "AB\r\n"},
        {"ascii, all off", allOff(ExportType::AsciiText), "AB\r\n..\r\n"},
        {"binary, all off", allOff(ExportType::HexText), "0x41 0x42 \r\n0x0D 0x0A \r\n"},
        {"raw, all off", allOff(ExportType::RawBytes), "AB\r\n"},
        {"heading without time", options(ExportType::AsciiText, false, true, true),
         " Datapos   Data...\r\n 00000000 AB\r\n 00000002 ..\r\n"},
        {"heading without either column", options(ExportType::AsciiText, false, true, false),
         " Datapos   Data...\r\nAB\r\n..\r\n"},
        {"time only", options(ExportType::AsciiText, true, false, false),
         "0.000000    :AB\r\n1.500000    :..\r\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(run(kWorkedExample, test.chosen), test.expected);
    }
}

TEST_F(TextExportTest, AsciiShowsOnly0x20To0x7FAsThemselves) {
    auto text =
        run(chunkBytes(0, {0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}), allOff(ExportType::AsciiText));
    EXPECT_EQ(Bytes(text.begin(), text.end()),
              (Bytes{0x2E, 0x20, 0x7E, 0x7F, 0x2E, 0x2E, '\r', '\n'}));
}

TEST_F(TextExportTest, TimeColumnIsLeftAlignedInTwelveAndNeverCut) {
    struct {
        std::uint32_t offset;
        const char* column;
    } const cases[] = {
        {10, "1.000000    :"},    {123456789, "12345678.900000:"},    {1, "0.100000    :"},
        {36000, "3600.000000 :"}, {4294967295u, "429496729.500000:"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.offset);
        EXPECT_EQ(
            run(chunkBytes(test.offset, {'x'}), options(ExportType::AsciiText, true, false, false)),
            std::string(test.column) + "x\r\n");
    }
}

TEST_F(TextExportTest, RepeatedAndReturningOffsetsEachGetTheirOwnTime) {
    auto file = join({chunkBytes(10, {'a'}), chunkBytes(10, {'b'}), chunkBytes(11, {'c'}),
                      chunkBytes(10, {'d'})});
    EXPECT_EQ(run(file, options(ExportType::AsciiText, true, false, false)),
              "1.000000    :a\r\n1.000000    :b\r\n1.100000    :c\r\n1.000000    :d\r\n");
}

TEST_F(TextExportTest, PositionCountsEarlierDataAndEmptyChunksWriteNothing) {
    auto file = join({chunkBytes(0, {1, 2, 3}), chunkBytes(1, {}), chunkBytes(2, Bytes(255, 'z')),
                      chunkBytes(3, {4})});
    auto text = run(file, options(ExportType::AsciiText, false, false, true));
    EXPECT_EQ(text, " 00000000 ...\r\n 00000003 " + std::string(255, 'z') + "\r\n 00000102 .\r\n");
}

TEST_F(TextExportTest, ResyncByOneFindsChunksAfterGarbage) {
    // One byte before the first chunk puts it at an odd position; more garbage between chunks.
    auto file =
        join({{0x00}, chunkBytes(0, {'a'}), {0x53, 0x53, 0x02, 0x0A}, chunkBytes(5, {'b', 'c'})});
    EXPECT_EQ(run(file, allOff(ExportType::AsciiText)), "a\r\nbc\r\n");
}

TEST_F(TextExportTest, LastChunkWithoutTerminatorIsWrittenButACutChunkIsNot) {
    auto unterminated = join({chunkBytes(0, {'a'}), chunkBytes(1, {'b', 'c'}, std::nullopt)});
    EXPECT_EQ(run(unterminated, allOff(ExportType::AsciiText)), "a\r\nbc\r\n");

    auto cut = join({chunkBytes(0, {'a'}), chunkBytes(1, {'b', 'c'})});
    cut.erase(cut.end() - 2, cut.end());  // data short by one byte
    EXPECT_EQ(run(cut, allOff(ExportType::AsciiText)), "a\r\n");
}

TEST_F(TextExportTest, EmptyFileGivesTheHeadingAtMost) {
    EXPECT_EQ(run({}, options(ExportType::AsciiText, true, true, true)),
              "Time(seconds) Datapos   Data...\r\n");
    EXPECT_EQ(run({}, options(ExportType::RawBytes, true, true, true)), "");
    EXPECT_EQ(run({0x41, 0x42, 0x43}, options(ExportType::AsciiText, true, false, true)), "");
}

TEST_F(TextExportTest, ExistingOutputIsReplaced) {
    ExportOptions chosen = allOff(ExportType::RawBytes);
    chosen.fileName = dir.file("existing.txt");
    ASSERT_TRUE(writeWholeFile(chosen.fileName, Bytes(1000, '#')));
    EXPECT_EQ(exportToText(put(chunkBytes(0, {'a', 'b'})), chosen).status, ExportStatus::Exported);
    EXPECT_EQ(readWholeFile(chosen.fileName), (Bytes{'a', 'b'}));
}

TEST_F(TextExportTest, UnopenableFilesShowABoxNamingThemAndMakeNoOutput) {
    ExportOptions chosen = allOff(ExportType::AsciiText);
    chosen.fileName = dir.file("out.txt");
    const std::string missing = dir.file("missing.ser");
    ExportResult result = exportToText(missing, chosen);
    EXPECT_EQ(result.status, ExportStatus::Failed);
    EXPECT_EQ(result.failure.kind, Failure::Kind::OpenInput);
    EXPECT_EQ(result.failure.subject, missing);
    EXPECT_EQ(result.failure.error, cLibraryError(ENOENT));
    // The system's own number too, which the window's box has always given (ENOENT and
    // ERROR_FILE_NOT_FOUND are both 2).
    EXPECT_EQ(result.failure.systemError, (SystemError{SystemError::Numbering::System, 2}));
    EXPECT_FALSE(std::filesystem::exists(chosen.fileName));

    chosen.fileName = dir.file("no-such-folder") + "/out.txt";
    result = exportToText(put(kWorkedExample), chosen);
    EXPECT_EQ(result.failure.kind, Failure::Kind::CreateOutput);
    EXPECT_EQ(result.failure.subject, chosen.fileName);
    EXPECT_EQ(result.failure.error, cLibraryError(ENOENT));
    EXPECT_FALSE(std::filesystem::exists(chosen.fileName));
}

// Many chunks spread over several output blocks, compared with lines printed one field at a
// time with the C library.
TEST_F(TextExportTest, LargeFileMatchesPrintfFormatting) {
    std::mt19937 random(7);
    Bytes file;
    std::string expected[3];
    std::uint32_t offset = 0;
    std::uint32_t position = 0;
    char field[64];
    while (file.size() < 300'000) {
        Bytes data(random() % 256);
        for (auto& byte : data) byte = random();
        offset += random() % 3;
        auto chunk = chunkBytes(offset, data);
        file.insert(file.end(), chunk.begin(), chunk.end());
        if (data.empty()) continue;
        for (int type = 0; type < 2; ++type) {
            std::snprintf(field, sizeof field, "%-12f:", offset * 0.1);
            expected[type] += field;
            std::snprintf(field, sizeof field, " %08X ", position);
            expected[type] += field;
            for (auto byte : data) {
                if (type == 0)
                    std::snprintf(field, sizeof field, "0x%02X ", byte);
                else
                    std::snprintf(field, sizeof field, "%c",
                                  byte >= 0x20 && byte <= 0x7F ? byte : '.');
                expected[type] += field;
            }
            expected[type] += "\r\n";
        }
        expected[2].append(data.begin(), data.end());
        position += data.size();
    }
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        auto text = run(file, options(static_cast<ExportType>(type), true, false, true));
        EXPECT_TRUE(text == expected[type])
            << "sizes " << text.size() << " and " << expected[type].size();
    }
}

}  // namespace
