#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "convert/Import.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// What the conversion loop sees: every pass that gave bytes, with the pass's number (which
// sets the chunk's time offset), and the number of passes in all.
struct Passes {
    std::vector<std::pair<int, Bytes>> filled;
    int total = 0;
    bool operator==(const Passes&) const = default;
};

Passes ourPasses(const std::string& path) {
    ImportInput input;
    EXPECT_TRUE(input.open(path));
    Passes passes;
    std::uint8_t buffer[kImportChunkSize];
    // A bound on passes turns a reader that never moves on into a failure, not a hang.
    while (!input.endSeen() && passes.total < 100'000) {
        int n = readHexBytes(input, buffer, kImportChunkSize);
        if (n > 0) passes.filled.push_back({passes.total, Bytes(buffer, buffer + n)});
        ++passes.total;
    }
    return passes;
}

// The same loop on the C library's own "%02X". With passOver, a character at which fscanf
// stops without taking anything is read away, as our reader passes over separators.
Passes libraryPasses(const std::string& path, bool passOver) {
    File in(std::fopen(path.c_str(), "rb"));
    EXPECT_TRUE(in);
    Passes passes;
    while (!std::feof(in.get()) && passes.total < 100'000) {
        Bytes bytes;
        while (bytes.size() < kImportChunkSize && !std::feof(in.get())) {
            // Our one departure: "0x" before a hex digit is a prefix, taken before the field.
            std::fscanf(in.get(), " ");
            long before = std::ftell(in.get());
            char head[3] = {};
            bool prefix = std::fread(head, 1, 3, in.get()) == 3 && head[0] == '0' &&
                          (head[1] == 'x' || head[1] == 'X') && std::isxdigit(head[2]);
            std::fseek(in.get(), before + (prefix ? 2 : 0), SEEK_SET);
            unsigned value = 0;
            int got = std::fscanf(in.get(), "%02X", &value);
            if (got > 0) {
                bytes.push_back(static_cast<std::uint8_t>(value));
                continue;
            }
            if (!passOver || got < 0) break;
            if (std::ftell(in.get()) == before) std::fgetc(in.get());
        }
        if (!bytes.empty()) passes.filled.push_back({passes.total, bytes});
        ++passes.total;
    }
    return passes;
}

Bytes allBytes(const Passes& passes) {
    Bytes out;
    for (const auto& [pass, bytes] : passes.filled)
        out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

class HexReaderTest : public ::testing::Test {
protected:
    std::string put(const std::string& text) {
        EXPECT_TRUE(writeWholeFile(path, Bytes(text.begin(), text.end())));
        return path;
    }

    TempDir dir;
    std::string path = dir.file("hex.txt");
};

// What fscanf("%02X") was seen to read, plus the pass over separators.
TEST_F(HexReaderTest, ReadsNumbersAsTheLibraryDoes) {
    struct {
        std::string text;
        Bytes bytes;
    } const cases[] = {
        {"0A0B", {0x0A, 0x0B}},
        {"0A 0B", {0x0A, 0x0B}},
        {"0A\r\n0B", {0x0A, 0x0B}},
        {"A ", {0x0A}},
        {"ABC", {0xAB, 0x0C}},
        {" \t\v\f\r\nff", {0xFF}},
        {"0x1F", {0x1F}},  // a prefix: the exporter's form reads back
        {"0x41 0X42 0x0D ", {0x41, 0x42, 0x0D}},
        {"0x4", {0x04}},
        {"0x123", {0x12, 0x03}},
        {"0X", {0x00}},      // without a digit after it, "0x" fills the field and reads as 0
        {"0xg1", {0x00, 0x01}},
        {"000", {0x00, 0x00}},
        {"-1", {0xFF}},  // the negated value's low byte
        {"-A", {0xF6}},
        {"+A", {0x0A}},
        {"1-2", {0x01, 0xFE}},
        {"-0x1", {0x00, 0x01}},  // "-0" fills the field; the x is a separator
        {"--1", {0xFF}},         // a lone sign is dropped
        {"- 1", {0x01}},
        {"+", {}},
        {"0A,0B;0C", {0x0A, 0x0B, 0x0C}},
        {"xyz", {}},
        {std::string("\x80\xFF"
                     "12\0"
                     "34",
                     7),
         {0x12, 0x34}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        EXPECT_EQ(allBytes(ourPasses(put(test.text))), test.bytes);
    }
}

TEST_F(HexReaderTest, EndIsSeenOnlyByAReadThatComesShort) {
    std::uint8_t buffer[kImportChunkSize];
    ImportInput raw;
    ASSERT_TRUE(raw.open(put("0123456789")));
    EXPECT_EQ(readRawBytes(raw, buffer, kImportChunkSize), 10);
    EXPECT_FALSE(raw.endSeen());
    EXPECT_EQ(readRawBytes(raw, buffer, kImportChunkSize), 0);
    EXPECT_TRUE(raw.endSeen());

    ImportInput hex;
    ASSERT_TRUE(hex.open(put("1 2\n")));
    EXPECT_EQ(readHexBytes(hex, buffer, kImportChunkSize), 2);
    EXPECT_TRUE(hex.endSeen());
    EXPECT_EQ(readHexBytes(hex, buffer, kImportChunkSize), -1);
}

// Generated texts against a plain fscanf("%02X") loop of the C library this build uses. Hex
// digits and white space are read alike by every C library; signs, 0x prefixes and separators
// are compared with the same pass over a character at which fscanf stops without taking any.
TEST_F(HexReaderTest, MatchesFscanfOnGeneratedTexts) {
    struct {
        std::string alphabet;
        bool passOver;
    } const cases[] = {
        {"0123456789abcdefABCDEF0123456789ABCDEF  \t\r\n\v\f", false},
        {"0123456789aAfF0000  \n+-xXxX,;g.", true},
    };
    std::mt19937 random(11);
    for (const auto& test : cases) {
        for (int round = 0; round < 2000; ++round) {
            std::string text(random() % 120, ' ');
            for (auto& c : text) c = test.alphabet[random() % test.alphabet.size()];
            SCOPED_TRACE("input \"" + text + "\"");
            put(text);
            ASSERT_TRUE(ourPasses(path) == libraryPasses(path, test.passOver));
        }
    }
}

}  // namespace
