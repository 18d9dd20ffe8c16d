#include "engine/MarkerSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "engine/SerialFile.h"

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101;
constexpr std::uint64_t kLowSevenBits = 0x7f7f7f7f7f7f7f7f;
// The top bit of bytes 0, 2, 4 and 6 of a word read little-endian.
constexpr std::uint64_t kEvenBytesTopBit = 0x0080008000800080;
constexpr std::uint64_t kOddBytesTopBit = kEvenBytesTopBit << 8;

static_assert(std::endian::native == std::endian::little, "words are read little-endian");

// The top bit set in each byte of x that is zero, exactly (no carry runs between bytes).
constexpr std::uint64_t zeroBytes(std::uint64_t x) {
    return ~(((x & kLowSevenBits) + kLowSevenBits) | x | kLowSevenBits);
}

std::size_t byteOf(std::uint64_t topBits) {
    return static_cast<std::size_t>(std::countr_zero(topBits)) / 8;
}

// Short stretches are not kept: most searches stop at the next chunk, and a long list would
// cost more to look through than it saves.
constexpr std::uint64_t kWorthRemembering = 1024;
// A file dense with far-apart markers would otherwise fill memory during one long seek.
constexpr std::size_t kMostRemembered = 4096;

// The first cursor of from's parity at or after limit; from itself when it is there already.
std::uint64_t firstCursorFrom(std::uint64_t from, std::uint64_t limit) {
    return from >= limit ? from : limit + (limit - from) % 2;
}

}  // namespace

// Eight positions a step, both parities in one pass: long damaged stretches are searched at
// memory speed, without stopping at every first marker byte as a byte search would.
FirstMarkers findFirstMarkers(const std::uint8_t* bytes, std::size_t length) {
    FirstMarkers found{length, length};
    std::size_t at = 0;
    for (; at + 9 <= length; at += 8) {
        std::uint64_t here = 0;
        std::uint64_t next = 0;  // the same positions' second bytes
        std::memcpy(&here, bytes + at, sizeof here);
        std::memcpy(&next, bytes + at + 1, sizeof next);
        const std::uint64_t markers = zeroBytes(here ^ (kEveryByte * kChunkMarker0)) &
                                      zeroBytes(next ^ (kEveryByte * kChunkMarker1));
        if (markers == 0) continue;
        if (found.even == length && (markers & kEvenBytesTopBit) != 0)
            found.even = at + byteOf(markers & kEvenBytesTopBit);
        if (found.odd == length && (markers & kOddBytesTopBit) != 0)
            found.odd = at + byteOf(markers & kOddBytesTopBit);
        if (found.even < length && found.odd < length) return found;
    }
    for (; at + 1 < length; ++at) {
        if (bytes[at] != kChunkMarker0 || bytes[at + 1] != kChunkMarker1) continue;
        std::size_t& first = at % 2 == 0 ? found.even : found.odd;
        if (first == length) first = at;
    }
    return found;
}

// Stretches may overlap; the one starting last at or before the cursor is enough to know.
std::optional<MarkerSearch::Stretch> MarkerSearch::holding(std::uint64_t cursor) const {
    const std::map<std::uint64_t, Stretch>& stretches = stretches_[cursor % 2];
    auto after = stretches.upper_bound(cursor);
    if (after == stretches.begin()) return std::nullopt;
    const Stretch& stretch = std::prev(after)->second;
    if (cursor < stretch.to) return stretch;
    return std::nullopt;
}

void MarkerSearch::remember(const Stretch& stretch) {
    if (stretch.to < stretch.from + kWorthRemembering) return;
    std::map<std::uint64_t, Stretch>& stretches = stretches_[stretch.from % 2];
    if (stretches.size() >= kMostRemembered) return;
    auto [at, added] = stretches.try_emplace(stretch.from, stretch);
    if (!added && at->second.to < stretch.to) at->second = stretch;
}

// Both parities are searched in one pass; stretches already known are jumped over.
std::uint64_t MarkerSearch::nextCursor(std::uint64_t from, std::uint64_t limit) {
    std::uint8_t block[16 * 1024];
    // Most stops are near (the next chunk); the reads grow for a long stretch.
    std::size_t want = 64;
    std::uint64_t at = from;  // the next cursor of the reading's parity to look at
    // This run has looked at every position of either parity in [runFrom, runTo); otherMarker is
    // the first marker it saw at the other parity.
    std::uint64_t runFrom = from;
    std::uint64_t runTo = from;
    constexpr std::uint64_t kNotSeen = ~std::uint64_t{0};
    std::uint64_t otherMarker = kNotSeen;
    bool lastByteIsMarker0 = false;
    auto rememberRun = [&](std::uint64_t ownTo, bool ownMarker) {
        remember({runFrom, ownTo, ownMarker});
        const std::uint64_t otherFrom = runFrom + 1;
        if (otherMarker != kNotSeen)
            remember({otherFrom, otherMarker, true});
        else if (runTo > otherFrom)
            remember({otherFrom, firstCursorFrom(otherFrom, runTo), false});
    };
    for (;;) {
        if (at >= limit) {
            rememberRun(at, false);
            return firstCursorFrom(from, limit);
        }
        if (const std::optional<Stretch> known = holding(at)) {
            rememberRun(at, false);
            if (known->markerAtTo && known->to < limit) return known->to;
            at = runFrom = runTo = known->to;
            otherMarker = kNotSeen;
            lastByteIsMarker0 = false;
            continue;
        }
        // Up to the limit and the byte after the last position looked at.
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(want, limit - at + 1));
        file_.seek(at);
        const std::size_t got = file_.read(block, count);
        if (file_.readFailed()) return at;
        // The other parity's position just before this block has its second byte here.
        if (otherMarker == kNotSeen && lastByteIsMarker0 && got > 0 && block[0] == kChunkMarker1)
            otherMarker = at - 1;
        const FirstMarkers markers = findFirstMarkers(block, got);
        if (otherMarker == kNotSeen && markers.odd < got) otherMarker = at + markers.odd;
        // Positions with a byte after them in the block are looked at.
        if (got > 0) runTo = at + got - 1;
        if (markers.even < got) {
            rememberRun(at + markers.even, true);
            return at + markers.even;
        }
        lastByteIsMarker0 = got % 2 == 0 && got > 0 && block[got - 1] == kChunkMarker0;
        // The next block starts on the parity.
        at += got & ~std::size_t{1};
        if (got < count) {
            rememberRun(at, false);
            return at;
        }
        want = std::min(want * 4, sizeof block);
    }
}
