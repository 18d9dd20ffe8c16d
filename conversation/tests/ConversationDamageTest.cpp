#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "conversation/ConversationReader.h"
#include "conversation/ConversationSpan.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Files built byte by byte, apart from the program's writer, in either byte order.
struct Builder {
    bool big = false;
    Bytes out;

    void u16(std::uint32_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void put(std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * (big ? size - 1 - i : i))));
    }
    void block(std::uint32_t type, const Bytes& body, std::uint32_t trailing = 0) {
        const auto length = static_cast<std::uint32_t>(12 + body.size());
        u32(type);
        u32(length);
        out.insert(out.end(), body.begin(), body.end());
        u32(trailing ? trailing : length);
    }
    Bytes fields(std::initializer_list<std::uint32_t> words) {
        Builder b{big, {}};
        for (std::uint32_t w : words) b.u32(w);
        return b.out;
    }
    void section() {
        Builder b{big, {}};
        b.u32(0x1A2B3C4D);
        b.u16(1);
        b.u16(0);
        b.u32(0xFFFFFFFF);
        b.u32(0xFFFFFFFF);
        block(0x0A0D0D0A, b.out);
    }
    void interface(std::uint16_t linkType = 250, std::uint32_t snapLength = 0) {
        Builder b{big, {}};
        b.u16(linkType);
        b.u16(0);
        b.u32(snapLength);
        block(1, b.out);
    }
    // The RTAC header's time is big-endian seconds and microseconds in either byte order.
    static Bytes rtac(std::uint8_t event, const Bytes& data, std::uint64_t seconds = 0,
                      std::uint32_t micros = 0) {
        Builder time{true, {}};
        time.u32(static_cast<std::uint32_t>(seconds));
        time.u32(micros);
        Bytes packet = time.out;
        packet.insert(packet.end(), {event, 0, 0, 0});
        packet.insert(packet.end(), data.begin(), data.end());
        return packet;
    }
    // A simple packet holding `held` bytes at most of its packet.
    void simple(std::uint64_t micros, std::uint8_t event, const Bytes& data,
                std::size_t held = SIZE_MAX) {
        Bytes packet =
            rtac(event, data, micros / 1'000'000, static_cast<std::uint32_t>(micros % 1'000'000));
        Bytes body = fields({static_cast<std::uint32_t>(packet.size())});
        packet.resize(std::min(packet.size(), held));
        body.insert(body.end(), packet.begin(), packet.end());
        while (body.size() % 4) body.push_back(0);
        block(3, body);
    }
    void packet(std::uint64_t micros, std::uint8_t event, const Bytes& data,
                std::uint32_t interface = 0) {
        const Bytes packet = rtac(event, data);
        Bytes body =
            fields({interface, static_cast<std::uint32_t>(micros >> 32),
                    static_cast<std::uint32_t>(micros), static_cast<std::uint32_t>(packet.size()),
                    static_cast<std::uint32_t>(packet.size())});
        body.insert(body.end(), packet.begin(), packet.end());
        while (body.size() % 4) body.push_back(0);
        block(6, body);
    }
};

struct Read {
    std::vector<std::pair<std::uint64_t, Bytes>> bursts;
    Failure failure;
    bool cut = false;
};

Read readFile(const TempDir& dir, const Bytes& bytes) {
    const std::string path = dir.file("in.pcapng");
    EXPECT_TRUE(writeWholeFile(path, bytes));
    Read result;
    ConversationReader reader;
    result.failure = reader.open(path);
    ConversationBurst burst;
    while (reader.next(burst)) {
        Bytes data(burst.bytes.begin(), burst.bytes.end());
        if (burst.direction == Direction::Host) data.insert(data.begin(), 'H');
        result.bursts.emplace_back(burst.timeMicros, data);
    }
    if (!result.failure.happened()) result.failure = reader.failure();
    result.cut = reader.endedInCutBlock();
    if (result.failure.happened()) {
        EXPECT_EQ(result.failure.subject, path);
    }
    return result;
}

// Section (28 bytes), interface (20) and two packets of 48 bytes: the packets start at bytes 48
// and 96, what follows at 144.
Builder goodFile(bool big = false) {
    Builder b{big, {}};
    b.section();
    b.interface();
    b.packet(5'000'000, 0x01, {0x11, 0x22, 0x33});
    b.packet(5'000'500, 0x02, {0x44});
    return b;
}
const std::vector<std::pair<std::uint64_t, Bytes>> kGoodBursts{{5'000'000, {'H', 0x11, 0x22, 0x33}},
                                                               {5'000'500, {0x44}}};

TEST(ConversationDamage, BothByteOrdersReadAlikeAndForeignBlocksArePassedOver) {
    TempDir dir;
    for (bool big : {false, true}) {
        Builder b = goodFile(big);
        b.block(4, b.fields({0, 0}));              // a name resolution block
        b.packet(5'000'600, 0x00, {0x99});         // a status change, no data
        b.block(0x40000BAD, b.fields({1, 2, 3}));  // a custom block
        b.packet(5'000'700, 0x02, {0x55, 0x66});
        const Read read = readFile(dir, b.out);
        EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
        auto expected = kGoodBursts;
        expected.push_back({5'000'700, {0x55, 0x66}});
        EXPECT_EQ(read.bursts, expected) << "big-endian: " << big;
    }
}

TEST(ConversationDamage, ACutLastBlockIsDroppedAndEverythingBeforeItRead) {
    TempDir dir;
    Builder b = goodFile();
    const std::size_t whole = b.out.size();
    b.packet(5'000'900, 0x01, {1, 2, 3, 4, 5, 6});
    for (std::size_t size = whole + 1; size < b.out.size(); ++size) {
        const Read read = readFile(dir, Bytes(b.out.begin(), b.out.begin() + size));
        EXPECT_FALSE(read.failure.happened()) << size << ": " << read.failure.reason();
        EXPECT_TRUE(read.cut) << size;
        EXPECT_EQ(read.bursts, kGoodBursts) << size;
    }
    const Read wholeRead = readFile(dir, Bytes(b.out.begin(), b.out.begin() + whole));
    EXPECT_FALSE(wholeRead.cut);
}

TEST(ConversationDamage, EachBrokenRuleGivesOneFailureSayingWhatAndWhere) {
    TempDir dir;
    auto withLength = [](std::uint32_t offset, std::uint32_t length) {
        Builder b = goodFile();
        for (int i = 0; i < 4; ++i)
            b.out[offset + 4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        return b.out;
    };
    Builder trailing = goodFile();
    trailing.block(0x40000BAD, {}, 16);
    Builder pastBlock = goodFile();
    pastBlock.out[96 + 20] = 200;  // captured length
    Builder shortPacket = goodFile();
    shortPacket.block(6, shortPacket.fields({0, 0, 5'000'600, 8, 8, 0, 0}));
    Builder undescribed = goodFile();
    undescribed.packet(5'000'600, 0x02, {1}, 1);
    Builder backwards = goodFile();
    backwards.packet(5'000'500 - 400'000, 0x02, {1});  // within a second: read
    backwards.packet(5'000'500 - 400'000 - 1'000'001, 0x02, {2});
    Builder simpleOverflowing = goodFile();
    simpleOverflowing.simple(5'000'600, 0x02, {1, 2, 3}, 11);
    Builder simpleEmpty = goodFile();
    simpleEmpty.block(3, {});
    Builder simpleFirst{false, {}};
    simpleFirst.section();
    simpleFirst.simple(5'000'600, 0x02, {1});
    Builder simpleBadTime = goodFile();
    simpleBadTime.simple(5'000'600, 0x02, {1});
    simpleBadTime.out[144 + 16] = 0x0F;  // the RTAC header's microseconds: 0x0F000258
    Builder otherLink{false, {}};
    otherLink.section();
    otherLink.interface(1);
    const Bytes text{'h', 'e', 'l', 'l', 'o'};

    const struct {
        Bytes file;
        std::string detail;
    } cases[] = {
        {text, "not a pcapng or pcap file: it begins with 68 65 6c 6c"},
        {{0x0A, 0x0D}, "not a pcapng or pcap file: it holds only 2 bytes"},
        {otherLink.out, "interface at byte 28 has link type 1, not 250 (RTAC serial)"},
        {withLength(96, 8), "block at byte 96 claims 8 bytes, fewer than a block's 12"},
        {withLength(96, 34), "block at byte 96 claims 34 bytes, not a multiple of 4"},
        {withLength(96, 0xFFFFFFFC),
         "block at byte 96 claims 4294967292 bytes (the limit is 16 MiB)"},
        {trailing.out, "block at byte 144 ends with length 16, not the 12 it began with"},
        {pastBlock.out, "packet at byte 96 claims 200 captured bytes, more than its block holds"},
        {shortPacket.out,
         "packet at byte 144 holds 8 bytes, fewer than the 12-byte RTAC serial header"},
        {undescribed.out, "packet at byte 144 is on interface 1, which is not described"},
        {simpleOverflowing.out,
         "packet at byte 144 claims 15 captured bytes, more than its block holds"},
        {simpleEmpty.out, "packet block at byte 144 is only 12 bytes"},
        {simpleFirst.out, "packet at byte 28 is on interface 0, which is not described"},
        {simpleBadTime.out,
         "packet at byte 144 has an RTAC time of 251658840 microseconds past its second"},
        {backwards.out,
         "packet at byte 192 is 1000001 microseconds earlier than the one before it"},
    };
    for (const auto& c : cases) {
        const Read read = readFile(dir, c.file);
        EXPECT_EQ(read.failure.kind, Failure::Kind::ReadInput) << c.detail;
        EXPECT_EQ(read.failure.detail, c.detail);
        EXPECT_FALSE(read.cut) << c.detail;
    }
    EXPECT_EQ(readFile(dir, backwards.out).bursts.size(), 3u);  // all before the step back
}

// Simple packets carry no time, interface or flags: they are timed by their RTAC header, are on
// interface 0 and hold its snapshot length of the packet at most; they mix with enhanced ones.
TEST(ConversationDamage, SimplePacketsAreTimedByTheirRtacHeaderAndCutToTheSnapshotLength) {
    TempDir dir;
    for (bool big : {false, true}) {
        Builder b{big, {}};
        b.section();
        b.interface(250, 14);
        b.simple(5'000'000, 0x01, {0x11, 0x22, 0x33});
        b.simple(5'000'500, 0x02, {0x44});
        b.simple(5'000'600, 0x00, {0x99});  // a status change, no data
        b.packet(5'000'700, 0x02, {0x55, 0x66, 0x77});
        b.simple(5'000'900, 0x02, {0x88});
        const Read read = readFile(dir, b.out);
        EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
        const std::vector<std::pair<std::uint64_t, Bytes>> expected{{5'000'000, {'H', 0x11, 0x22}},
                                                                    {5'000'500, {0x44}},
                                                                    {5'000'700, {0x55, 0x66, 0x77}},
                                                                    {5'000'900, {0x88}}};
        EXPECT_EQ(read.bursts, expected) << "big-endian: " << big;
        // The last block, a simple packet, gives the span without reading through.
        EXPECT_EQ(conversationSpanMicros(dir.file("in.pcapng"), 0), 900u) << big;
    }
}

// A file's length comes from its last block when that is a whole data packet, else from reading
// it through, which a limit of 0 bytes forbids.
TEST(ConversationDamage, ASpanIsReadFromTheEndOrByReadingThrough) {
    TempDir dir;
    const std::string path = dir.file("span.pcapng");
    for (bool big : {false, true}) {
        Builder b = goodFile(big);
        b.packet(5'000'700, 0x02, {0x55});
        ASSERT_TRUE(writeWholeFile(path, b.out));
        EXPECT_EQ(conversationSpanMicros(path, 0), 700u) << big;

        const std::size_t whole = b.out.size();
        b.packet(5'000'900, 0x00, {0x99});  // a status change: stepped back over from the end
        ASSERT_TRUE(writeWholeFile(path, b.out));
        EXPECT_EQ(conversationSpanMicros(path, 0), 700u) << big;

        ASSERT_TRUE(writeWholeFile(path, Bytes(b.out.begin(), b.out.begin() + whole + 9)));
        EXPECT_EQ(conversationSpanMicros(path, 1 << 20), 700u) << "cut, big-endian: " << big;
    }
}

// Classic pcap as other serial sniffers write it: the same bursts from all four magics.
TEST(ConversationDamage, ClassicPcapReadsTheSameBursts) {
    TempDir dir;
    for (bool big : {false, true}) {
        for (bool nanos : {false, true}) {
            Builder b{big, {}};
            b.u32(nanos ? 0xA1B23C4D : 0xA1B2C3D4);
            b.u16(2);
            b.u16(4);
            for (std::uint32_t word : {0u, 0u, 65535u, 250u}) b.u32(word);
            for (const auto& [micros, data] : kGoodBursts) {
                const bool host = data.front() == 'H';
                const Bytes packet = Builder::rtac(
                    host ? 0x01 : 0x02, host ? Bytes(data.begin() + 1, data.end()) : data);
                b.u32(static_cast<std::uint32_t>(micros / 1'000'000));
                b.u32(static_cast<std::uint32_t>(micros % 1'000'000 * (nanos ? 1000 : 1)));
                b.u32(static_cast<std::uint32_t>(packet.size()));
                b.u32(static_cast<std::uint32_t>(packet.size()));
                b.out.insert(b.out.end(), packet.begin(), packet.end());
            }
            const Read read = readFile(dir, b.out);
            EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
            EXPECT_EQ(read.bursts, kGoodBursts) << big << nanos;

            // The second record (at byte 55) claims 2^25 + 13 bytes.
            b.out[big ? 63 : 66] = 0x02;
            EXPECT_EQ(readFile(dir, b.out).failure.detail,
                      "packet at byte 55 claims 33554445 bytes (the limit is 16 MiB)");
            b.out[big ? 23 : 20] = 1;
            EXPECT_EQ(readFile(dir, b.out).failure.detail,
                      "the file's link type is 1, not 250 (RTAC serial)");
        }
    }
}

}  // namespace
