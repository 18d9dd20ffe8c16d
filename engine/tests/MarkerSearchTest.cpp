#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/MarkerSearch.h"
#include "engine/SerialFile.h"
#include "tests/support/TempDir.h"

namespace {

std::size_t searchByteByByte(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    for (std::size_t at = from; at + 1 < bytes.size(); at += 2)
        if (bytes[at] == kChunkMarker0 && bytes[at + 1] == kChunkMarker1) return at;
    return bytes.size();
}

// A reading's next stop, one step at a time.
std::uint64_t nextCursorStepByStep(const std::vector<std::uint8_t>& bytes, std::uint64_t from,
                                   std::uint64_t limit) {
    std::uint64_t at = from;
    for (; at < limit && at + 1 < bytes.size(); at += 2)
        if (bytes[at] == kChunkMarker0 && bytes[at + 1] == kChunkMarker1) return at;
    return at;
}

}  // namespace

// Blocks dense in marker bytes, of every length around the word size and beyond: the first
// marker of each parity, also where it spans two words, and none cut by the block's end.
TEST(MarkerSearch, AgreesWithAByteByByteSearch) {
    std::mt19937 random(7);
    const std::uint8_t alphabet[] = {kChunkMarker0, kChunkMarker1, 0x00, 0x80, 0xff};
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> bytes(random() % 40);
        for (auto& byte : bytes) byte = alphabet[random() % (round % 2 ? 2 : 5)];
        const FirstMarkers found = findFirstMarkers(bytes.data(), bytes.size());
        ASSERT_EQ(found.even, searchByteByByte(bytes, 0)) << "round " << round;
        ASSERT_EQ(found.odd, searchByteByByte(bytes, 1)) << "round " << round;
    }
}

TEST(MarkerSearch, FindsALoneMarkerAtEveryOffsetOfALongBlock) {
    std::vector<std::uint8_t> bytes(70, kChunkMarker1);
    for (std::size_t at = 0; at + 1 < bytes.size(); ++at) {
        bytes[at] = kChunkMarker0;
        const FirstMarkers found = findFirstMarkers(bytes.data(), bytes.size());
        EXPECT_EQ(found.even, at % 2 == 0 ? at : bytes.size()) << at;
        EXPECT_EQ(found.odd, at % 2 == 1 ? at : bytes.size()) << at;
        bytes[at] = kChunkMarker1;
    }
}

// One search answers many readings of a damaged file, as a seek's probes do: what it remembers of
// earlier ones (either parity, across its read blocks) must never change an answer. Markers lie
// 500 to 2,500 bytes apart, so the other parity's first one falls on every read block's edge.
TEST(MarkerSearch, RememberedStretchesNeverChangeTheNextStop) {
    std::mt19937 random(11);
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 200'000) {
        for (std::size_t gap = 500 + random() % 2'000; gap > 0; --gap) {
            const std::uint8_t byte = static_cast<std::uint8_t>(random());
            bytes.push_back(byte == kChunkMarker0 ? 0 : byte);
        }
        bytes.insert(bytes.end(), {kChunkMarker0, kChunkMarker1});
    }
    TempDir dir;
    const std::string path = dir.file("damaged.ser");
    ASSERT_TRUE(writeWholeFile(path, bytes));
    SerialFileReader file;
    ASSERT_TRUE(file.open(path));
    auto check = [&](MarkerSearch& search, std::uint64_t from, std::uint64_t limit) {
        ASSERT_EQ(search.nextCursor(from, limit), nextCursorStepByStep(bytes, from, limit))
            << "from " << from << " limit " << limit;
    };
    MarkerSearch shared(file);
    for (int query = 0; query < 3'000; ++query) {
        const std::uint64_t from = random() % (bytes.size() + 10);
        check(shared, from, from - 50 + random() % 40'000);
    }
    // A reading of the other parity just after, as a probe's readings go.
    for (int trial = 0; trial < 10'000; ++trial) {
        MarkerSearch fresh(file);
        const std::uint64_t from = random() % bytes.size();
        check(fresh, from, bytes.size());
        check(fresh, from + 1 + 2 * (random() % 8), bytes.size());
    }
}
