#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>
#include <vector>

#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Seen {
    std::uint64_t time;
    Direction direction;
    std::uint8_t controlLines;
    Bytes bytes;
    std::optional<LineEvent> event = std::nullopt;
    bool operator==(const Seen&) const = default;
};

Seen seen(const ConversationBurst& burst) {
    return {burst.timeMicros, burst.direction, burst.controlLines,
            Bytes(burst.bytes.begin(), burst.bytes.end()), burst.lineEvent};
}

std::vector<Seen> readAll(const std::string& path, std::vector<std::uint64_t>* offsets = nullptr,
                          bool keepLineEvents = false) {
    ConversationReader reader;
    EXPECT_FALSE(reader.open(path).happened());
    reader.keepLineEvents(keepLineEvents);
    std::vector<Seen> all;
    ConversationBurst burst;
    while (reader.next(burst)) {
        all.push_back(seen(burst));
        if (offsets) offsets->push_back(burst.offset);
    }
    EXPECT_FALSE(reader.failure().happened()) << reader.failure().reason();
    EXPECT_FALSE(reader.endedInCutBlock());
    return all;
}

const ConversationHeader kHeader{"Veltrane-cli 1.7", {{"COM3 <-> COM4", "115200 8N1"}}};

TEST(ConversationRoundTrip, WrittenBurstsReadBackInOrderAndAgainByOffset) {
    TempDir dir;
    const std::string path = dir.file("talk.pcapng");
    Bytes large(200'000);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 7);
    // Lengths around the 4-byte padding, an empty burst, one larger than the writer's buffer,
    // and a time past 2^32 seconds' worth of microseconds in the high word.
    const std::vector<Seen> written{
        {1'700'000'000'000'001, Direction::Host, 0x18, {0x01, 0x03, 0x00}},
        {1'700'000'000'004'321, Direction::Device, 0, {0x01, 0x03, 0x02, 0x00}},
        {1'700'000'000'004'322, Direction::Device, 0x7F, {}},
        {1'700'000'001'000'000, Direction::Host, 0, large},
        {1'700'000'001'999'999, Direction::Device, 0, {0xFF, 0x00, 0x0A, 0x0D, 0x1A}},
    };
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, kHeader).happened());
    for (const Seen& burst : written)
        ASSERT_FALSE(writer.write({burst.time, burst.direction, burst.controlLines, burst.bytes})
                         .happened());
    ASSERT_FALSE(writer.close().happened());

    std::vector<std::uint64_t> offsets;
    EXPECT_EQ(readAll(path, &offsets), written);
    ASSERT_EQ(offsets.size(), written.size());
    ConversationReader reader;
    ASSERT_FALSE(reader.open(path).happened());
    ConversationBurst burst;
    for (std::size_t i = written.size(); i-- > 0;) {  // backwards: each read stands alone
        ASSERT_TRUE(reader.readAt(offsets[i], burst)) << reader.failure().reason();
        EXPECT_EQ(seen(burst), written[i]);
    }
    EXPECT_FALSE(reader.readAt(0, burst));  // the section header is no packet
    EXPECT_EQ(reader.failure().detail, "no data packet starts at byte 0");
}

TEST(ConversationRoundTrip, LineEventsReadBackAmongTheBurstsOnlyWhenKept) {
    TempDir dir;
    const std::string path = dir.file("lines.pcapng");
    using enum LineEventKind;
    const std::uint64_t t = 1'700'000'000'000'000;
    const std::uint8_t up = control_line::kRts | control_line::kDtr;
    const std::uint8_t all = up | control_line::kCts | control_line::kDsr;
    // Every kind, settings in each of their forms, and an event last (the lines dropping as the
    // port closed), which readLast steps back over when the events are not kept.
    const std::vector<Seen> written{
        {t + 1, Direction::Host, up, {}, LineEvent{ControlLines, up}},
        {t + 2, Direction::Device, all, {}, LineEvent{ControlLines, all}},
        {t + 3, Direction::Host, all, {}, LineEvent{LineSettings, 0, 19200, 8, Parity::Even}},
        {t + 4, Direction::Host, all, {0x01, 0x03}},
        {t + 5, Direction::Host, all, {}, LineEvent{BreakStart}},
        {t + 6, Direction::Host, all, {}, LineEvent{BreakEnd}},
        {t + 7, Direction::Device, all, {}, LineEvent{FramingError}},
        {t + 8, Direction::Device, all, {}, LineEvent{ParityError}},
        {t + 9, Direction::Host, all, {}, LineEvent{LineSettings, 0, 9600}},
        {t + 10,
         Direction::Host,
         all,
         {},
         LineEvent{LineSettings, 0, 0, 0, Parity::Mark, StopBits::OneAndAHalf}},
        {t + 11, Direction::Host, all, {}, LineEvent{LineSettings}},
        {t + 12, Direction::Device, all, {0x01, 0x83, 0x02}},
        {t + 13, Direction::Device, all, {}, LineEvent{.kind = DataLost, .awayMicros = 61'002'000}},
        {t + 14, Direction::Host, 0, {}, LineEvent{ControlLines, 0}},
    };
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, kHeader).happened());
    for (const Seen& item : written) {
        const Failure failure =
            item.event
                ? writer.writeLineEvent(item.time, item.direction, item.controlLines, *item.event)
                : writer.write({item.time, item.direction, item.controlLines, item.bytes});
        ASSERT_FALSE(failure.happened());
    }
    ASSERT_FALSE(writer.close().happened());

    std::vector<std::uint64_t> offsets;
    EXPECT_EQ(readAll(path, &offsets, true), written);
    std::vector<Seen> bursts;
    std::copy_if(written.begin(), written.end(), std::back_inserter(bursts),
                 [](const Seen& item) { return !item.event; });
    EXPECT_EQ(readAll(path), bursts);

    ConversationReader reader;
    ASSERT_FALSE(reader.open(path).happened());
    ConversationBurst burst;
    ASSERT_TRUE(reader.readLast(burst));
    EXPECT_EQ(seen(burst), bursts.back());
    // A place in the file that is an event's: reading on from it gives the burst after it.
    ASSERT_TRUE(reader.continueFrom(offsets[4]));
    ASSERT_TRUE(reader.next(burst));
    EXPECT_EQ(seen(burst), bursts.back());
    EXPECT_FALSE(reader.readAt(offsets[4], burst));  // not kept: no packet of bytes there

    ASSERT_FALSE(reader.open(path).happened());
    reader.keepLineEvents(true);
    for (std::size_t i = written.size(); i-- > 0;) {
        ASSERT_TRUE(reader.readAt(offsets[i], burst)) << reader.failure().reason();
        EXPECT_EQ(seen(burst), written[i]);
    }
    ASSERT_TRUE(reader.readLast(burst));
    EXPECT_EQ(seen(burst), written.back());
    ASSERT_TRUE(reader.continueFrom(offsets[0]));
    BurstPlace place;
    for (const Seen& item : written) {
        ASSERT_TRUE(reader.nextPlace(place));
        EXPECT_EQ(place.lineEvent, item.event);
        EXPECT_EQ(place.length, item.bytes.size());
    }
    EXPECT_FALSE(reader.nextPlace(place));
}

// A recording of several ports: each burst keeps its port, and the file names them all.
TEST(ConversationRoundTrip, BurstsOfSeveralPortsKeepTheirInterfaces) {
    TempDir dir;
    const std::string path = dir.file("rig.pcapng");
    const std::vector<ConversationInterface> ports{
        {"/dev/ttyUSB0", "9600 8N1"}, {"/dev/ttyUSB1", "19200 8E1"}, {"COM7", ""}};
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, {"test", ports}).happened());
    const Bytes bytes{0x01, 0x02};
    std::vector<std::uint32_t> written{2, 0, 1, 1, 0, 2};
    std::uint64_t time = 1'700'000'000'000'000;
    for (const std::uint32_t port : written) {
        ConversationBurst burst{time++, Direction::Device, 0, bytes};
        burst.interfaceIndex = port;
        ASSERT_FALSE(writer.write(burst).happened());
    }
    ConversationBurst stray{time, Direction::Host, 0, bytes};
    stray.interfaceIndex = 3;
    EXPECT_EQ(writer.write(stray).kind, Failure::Kind::WriteOutput);
    ASSERT_FALSE(writer.close().happened());

    ConversationReader reader;
    ASSERT_FALSE(reader.open(path).happened());
    ASSERT_EQ(reader.interfaces().size(), ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(reader.interfaces()[i].name, ports[i].name);
        EXPECT_EQ(reader.interfaces()[i].lineSettings, ports[i].lineSettings);
    }
    std::vector<std::uint32_t> read;
    ConversationBurst burst;
    while (reader.next(burst)) read.push_back(burst.interfaceIndex);
    EXPECT_EQ(read, written);
    ASSERT_FALSE(reader.open(path).happened());
    BurstPlace place;
    ASSERT_TRUE(reader.nextPlace(place));
    EXPECT_EQ(place.interfaceIndex, written.front());
}

// What a killed recording leaves: the header at once, then bursts no later than 100 ms after
// they were written.
TEST(ConversationRoundTrip, BurstsReachTheFileWhenAFlushIsDue) {
    TempDir dir;
    const std::string path = dir.file("live.pcapng");
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, kHeader).happened());
    EXPECT_TRUE(readAll(path).empty());
    const Bytes bytes{1, 2, 3};
    auto burstAt = [&](std::uint64_t time) {
        return ConversationBurst{time, Direction::Device, 0, bytes};
    };
    const std::uint64_t start = 5'000'000;
    ASSERT_FALSE(writer.write(burstAt(start)).happened());
    ASSERT_FALSE(writer.flushIfDue(start).happened());  // the first call flushes
    EXPECT_EQ(readAll(path).size(), 1u);
    ASSERT_FALSE(writer.write(burstAt(start + 10)).happened());
    ASSERT_FALSE(writer.flushIfDue(start + 99'999).happened());
    EXPECT_EQ(readAll(path).size(), 1u);
    ASSERT_FALSE(writer.flushIfDue(start + 100'000).happened());
    EXPECT_EQ(readAll(path).size(), 2u);
    ASSERT_FALSE(writer.close().happened());
}

TEST(ConversationRoundTrip, AFileThatCannotBeMadeIsACreateFailure) {
    TempDir dir;
    ConversationWriter writer;
    const std::string missing = dir.file("no-such-folder/talk.pcapng");
    const Failure refused = writer.open(missing, kHeader);
    EXPECT_EQ(refused.kind, Failure::Kind::CreateOutput);
    EXPECT_EQ(refused.subject, missing);
    EXPECT_TRUE(refused.error.isSet());
}

TEST(ConversationRoundTrip, AFullDiskIsAWriteFailureWithItsReason) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ConversationWriter writer;
    // The header goes out at open, so a full disk shows there or at the first flush after it.
    Failure full = writer.open("/dev/full", kHeader);
    const Bytes bytes(10, 0x55);
    if (!full.happened()) full = writer.write({1, Direction::Host, 0, bytes});
    if (!full.happened()) full = writer.flushIfDue(1);
    EXPECT_EQ(full.kind, Failure::Kind::WriteOutput);
    EXPECT_EQ(full.reason(), systemErrorText({SystemError::Numbering::System, ENOSPC}));
    EXPECT_EQ(writer.close().kind, Failure::Kind::WriteOutput);
}

}  // namespace
