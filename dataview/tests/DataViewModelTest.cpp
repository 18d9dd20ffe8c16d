#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "conversation/ConversationWriter.h"
#include "dataview/DataRowText.h"
#include "dataview/DataViewModel.h"
#include "engine/SerialFile.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void waitForIndex(const DataViewModel& model, std::uint64_t rows) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((model.rowCount() < rows || !model.indexComplete()) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void appendBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

Bytes chunkBytes(std::uint32_t time, const Bytes& data) {
    Bytes out(kChunkOverhead + data.size());
    out.resize(encodeChunk(time, data.data(), static_cast<std::uint8_t>(data.size()), out.data()));
    return out;
}

}  // namespace

TEST(DataRowText, TimesHexAndAscii) {
    EXPECT_EQ(formatTenthsRowTime(0), "0:00.0");
    EXPECT_EQ(formatTenthsRowTime(605), "1:00.5");
    EXPECT_EQ(formatTenthsRowTime(60000), "100:00.0");
    EXPECT_EQ(formatMicrosRowTime(61'000'042), "1:01.000042");
    const Bytes bytes{0x41, 0x00, 0x7E, 0x7F, 0xFF};
    EXPECT_EQ(formatRowHex(bytes), "41 00 7E 7F FF");
    EXPECT_EQ(formatRowAscii(bytes), "A.~..");
    const Bytes longBurst(kDataRowShownBytes + 1, 0x30);
    EXPECT_EQ(formatRowHex(longBurst).size(), kDataRowShownBytes * 3 - 1 + 4);
    EXPECT_EQ(formatRowAscii(longBurst), std::string(kDataRowShownBytes, '0') + "...");
}

// Rows are the chunks playback reads: damage between them is passed over, and a row is found by
// its time.
TEST(DataViewModel, SerialFileRowsSkipDamageAndAreFoundByTime) {
    TempDir dir;
    const std::string path = dir.file("rec.ser");
    appendBytes(path, chunkBytes(0, {'h', 'i'}));
    appendBytes(path,
                Bytes(5000, 0x00));  // damage, an even count: playback's step meets what follows
    appendBytes(path, chunkBytes(15, {0x01, 0x0A}));
    appendBytes(path, chunkBytes(700, {}));

    DataViewModel model;
    ASSERT_FALSE(model.open(path, false).happened());
    waitForIndex(model, 3);
    ASSERT_EQ(model.rowCount(), 3u);
    EXPECT_EQ(model.kind(), DataFileKind::Serial);
    const DataRow& first = model.row(0);
    EXPECT_EQ(first.time, "0:00.0");
    EXPECT_EQ(first.length, "2");
    EXPECT_EQ(first.hex, "68 69");
    EXPECT_EQ(first.ascii, "hi");
    EXPECT_EQ(model.row(1).time, "0:01.5");
    EXPECT_EQ(model.row(1).hex, "01 0A");
    EXPECT_EQ(model.row(2).time, "1:10.0");
    EXPECT_EQ(model.row(2).length, "0");
    EXPECT_EQ(model.row(3).hex, "...");
    EXPECT_EQ(model.rowAtTime(14), 0u);
    EXPECT_EQ(model.rowAtTime(699), 1u);
    EXPECT_EQ(model.rowTime(2), 700u);
}

// A file being recorded: rows written after the view opened appear, a chunk cut short only once
// it is whole.
TEST(DataViewModel, FollowingShowsRowsWrittenLater) {
    TempDir dir;
    const std::string path = dir.file("rec.ser");
    appendBytes(path, chunkBytes(1, {'a'}));
    DataViewModel model;
    ASSERT_FALSE(model.open(path, true).happened());
    const Bytes next = chunkBytes(2, {'b', 'c'});
    appendBytes(path, Bytes(next.begin(), next.end() - 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(model.rowCount(), 1u);
    appendBytes(path, Bytes(next.end() - 1, next.end()));
    model.setFollowing(false);
    waitForIndex(model, 2);
    ASSERT_EQ(model.rowCount(), 2u);
    EXPECT_EQ(model.row(1).ascii, "bc");
}

TEST(DataViewModel, ConversationRowsShowDirectionAndTimeSinceFirstBurst) {
    TempDir dir;
    const std::string path = dir.file("talk.pcapng");
    const Bytes request{0x01, 0x03}, answer{0x01, 0x83, 0x41};
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, {"Veltrane 1.0", {{"COM3 <-> COM4", "9600 8N1"}}}).happened());
    ASSERT_FALSE(writer.write({1'700'000'000'000'000, Direction::Host, 0, request}).happened());
    ASSERT_FALSE(writer.write({1'700'000'090'250'001, Direction::Device, 0, answer}).happened());
    ASSERT_FALSE(writer.close().happened());

    DataViewModel model;
    ASSERT_FALSE(model.open(path, false).happened());
    waitForIndex(model, 2);
    ASSERT_EQ(model.rowCount(), 2u);
    EXPECT_EQ(model.kind(), DataFileKind::Conversation);
    EXPECT_EQ(model.row(0).time, "0:00.000000");
    EXPECT_EQ(model.row(0).direction, "host");
    EXPECT_EQ(model.row(1).time, "1:30.250001");
    EXPECT_EQ(model.row(1).direction, "device");
    EXPECT_EQ(model.row(1).length, "3");
    EXPECT_EQ(model.row(1).ascii, "..A");
    EXPECT_EQ(model.rowAtTime(90'250'000), 0u);
    EXPECT_EQ(model.rowAtTime(90'250'001), 1u);
    EXPECT_FALSE(model.severalPorts());
    EXPECT_EQ(model.row(0).port, "");
}

// Ports recorded on one clock: each row tells which port its burst came through.
TEST(DataViewModel, ConversationOfSeveralPortsRowsTellTheirPort) {
    TempDir dir;
    const std::string path = dir.file("rig.pcapng");
    const Bytes bytes{0x30};
    const std::uint64_t time = 1'700'000'000'000'000;
    ConversationWriter writer;
    ASSERT_FALSE(
        writer.open(path, {"Veltrane 1.0", {{"COM3", "9600 8N1"}, {"", "19200 8E1"}}}).happened());
    for (const std::uint32_t port : {0u, 1u, 0u}) {
        ConversationBurst burst{time + port, Direction::Device, 0, bytes};
        burst.interfaceIndex = port;
        ASSERT_FALSE(writer.write(burst).happened());
    }
    ASSERT_FALSE(writer.close().happened());

    DataViewModel model;
    ASSERT_FALSE(model.open(path, false).happened());
    waitForIndex(model, 3);
    ASSERT_EQ(model.rowCount(), 3u);
    EXPECT_TRUE(model.severalPorts());
    EXPECT_EQ(model.row(0).port, "1: COM3");
    EXPECT_EQ(model.row(1).port, "2");  // a port the file does not name
    EXPECT_EQ(model.row(2).port, "1: COM3");
    EXPECT_EQ(model.row(1).direction, "device");
}

TEST(DataViewModel, MissingFileFailsToOpen) {
    TempDir dir;
    DataViewModel model;
    EXPECT_EQ(model.open(dir.file("none.ser"), false).kind, Failure::Kind::OpenInput);
    EXPECT_FALSE(model.isOpen());
}
