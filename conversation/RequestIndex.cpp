#include "conversation/RequestIndex.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>

#include "conversation/Exchanges.h"
#include "conversation/RequestBytes.h"

namespace {

bool byKey(const RequestIndex::Occurrence& a, const RequestIndex::Occurrence& b) {
    return a.key() < b.key();
}

}  // namespace

Failure changedWhileRead(const ConversationReader& reader, const std::string& path) {
    if (reader.failure().happened()) return reader.failure();
    Failure failure = fileFailure(Failure::Kind::ReadInput, path, {});
    failure.detail = "the file changed while it was read";
    return failure;
}

std::uint64_t RequestIndex::keyOf(std::uint64_t hash, std::uint64_t length) {
    return hash ^ (length * 0x9E3779B97F4A7C15ull);
}

Failure RequestIndex::build(const std::string& path) {
    *this = RequestIndex();
    path_ = path;
    ConversationReader reader;
    if (Failure opened = reader.open(path); opened.happened()) return opened;
    // Room for as many requests as the file could hold (each has a block of the host's and one
    // of the device's, 44 bytes at least), up to a 5 GiB file's: the system takes the pages only
    // as they are written to, and the tables are never moved while they grow.
    constexpr std::uint64_t kReservedAtMost = 64'000'000;
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    const std::uint64_t most = error ? 0 : std::min(size / 88 + 1, kReservedAtMost);
    offsets_.reserve(most);
    occurrences_.reserve(most);
    bool tooMany = false;
    ExchangeSplitter splitter;
    // The open request's bytes so far and the hash of its first kPrefixLength.
    std::uint64_t openLength = 0;
    std::uint64_t prefixHash = kRequestHashStart;
    const auto add = [&](const std::optional<Exchange>& exchange) {
        if (!exchange) return;
        const bool isLong = exchange->requestLength > kPrefixLength;
        const std::uint64_t prefixKey = keyOf(prefixHash, kPrefixLength);
        openLength = 0;
        prefixHash = kRequestHashStart;
        // Beyond 4 GiB one request is no request a device answers: it is kept at that length, so
        // it is never matched.
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            exchange->requestLength, std::numeric_limits<std::uint32_t>::max()));
        if (offsets_.size() == kMostRequests) {
            tooMany = true;
            return;
        }
        const auto number = static_cast<std::uint32_t>(offsets_.size());
        occurrences_.emplace_back(keyOf(exchange->requestHash, exchange->requestLength), number);
        if (isLong) longRequests_.emplace_back(prefixKey, number);
        offsets_.push_back(exchange->firstOffset);
        lengths_.insert(length);
        longest_ = std::max(longest_, length);
    };
    // The host's bursts are read a piece at a time: the splitter takes a burst's pieces as it
    // takes bursts, and a device's burst needs no bytes.
    std::array<std::uint8_t, RequestBytes::kPieceSize> piece;
    BurstPlace place;
    bool first = true;
    while (reader.nextPlace(place)) {
        if (first) {
            firstMicros_ = place.timeMicros;
            if (place.direction == Direction::Device) earlyOffset_ = place.offset;
            first = false;
        }
        if (place.direction == Direction::Device) {
            add(splitter.add({place.timeMicros, Direction::Device, 0, {}, place.offset}));
            continue;
        }
        std::uint64_t done = 0;
        do {
            const auto count = static_cast<std::size_t>(
                std::min<std::uint64_t>(place.length - done, piece.size()));
            if (!reader.readBytes(place.bytesAt + done, piece.data(), count))
                return reader.failure();
            const std::span<const std::uint8_t> bytes(piece.data(), count);
            if (openLength < kPrefixLength)
                prefixHash = continueRequestHash(
                    prefixHash,
                    bytes.first(std::min<std::size_t>(count, kPrefixLength - openLength)));
            openLength += count;
            add(splitter.add({place.timeMicros, Direction::Host, 0, bytes, place.offset}));
            done += count;
        } while (done < place.length);
    }
    if (reader.failure().happened()) return reader.failure();
    add(splitter.finish());
    if (tooMany) {
        Failure failure = fileFailure(Failure::Kind::ReadInput, path, {});
        failure.detail = "it holds more than " + std::to_string(kMostRequests) + " requests";
        return failure;
    }
    const auto byKeyThenNumber = [](const Occurrence& a, const Occurrence& b) {
        return a.key() != b.key() ? a.key() < b.key() : a.number() < b.number();
    };
    std::sort(occurrences_.begin(), occurrences_.end(), byKeyThenNumber);
    std::sort(longRequests_.begin(), longRequests_.end(), byKeyThenNumber);
    longRequests_.shrink_to_fit();
    return markRequestsThatMayGrow();
}

// Whether a request may still grow is asked of every request answered, so it is settled here
// once per distinct request: each one's prefixes of a length some request has are looked up.
Failure RequestIndex::markRequestsThatMayGrow() {
    RequestBytes request;
    if (Failure opened = request.open(path_); opened.happened()) return opened;
    for (std::size_t start = 0; start < occurrences_.size();) {
        std::size_t end = start + 1;
        while (end < occurrences_.size() && occurrences_[end].key() == occurrences_[start].key())
            ++end;
        const std::uint32_t number = occurrences_[start].number();
        start = end;
        if (!request.start(offsets_[number])) return changedWhileRead(request.reader(), path_);
        // A prefix is shorter than the request once a byte follows it.
        std::uint64_t hash = kRequestHashStart;
        std::uint64_t done = 0;
        auto nextLength = lengths_.begin();
        for (auto piece = request.next(); !piece.empty(); piece = request.next()) {
            for (const std::uint8_t byte : piece) {
                while (nextLength != lengths_.end() && *nextLength < done) ++nextLength;
                if (done > 0 && nextLength != lengths_.end() && *nextLength == done) {
                    auto range = std::equal_range(occurrences_.begin(), occurrences_.end(),
                                                  Occurrence(keyOf(hash, done), 0), byKey);
                    for (auto it = range.first; it != range.second; ++it) it->setMayGrow();
                }
                hash = continueRequestHash(hash, {&byte, 1});
                ++done;
            }
        }
        if (request.failed()) return changedWhileRead(request.reader(), path_);
    }
    return {};
}

std::span<const RequestIndex::Occurrence> RequestIndex::occurrences(std::uint64_t key) const {
    const auto range =
        std::equal_range(occurrences_.begin(), occurrences_.end(), Occurrence(key, 0), byKey);
    return {range.first, range.second};
}

std::span<const RequestIndex::Occurrence> RequestIndex::longRequestsBeginning(
    std::uint64_t prefixKey) const {
    const auto range = std::equal_range(longRequests_.begin(), longRequests_.end(),
                                        Occurrence(prefixKey, 0), byKey);
    return {range.first, range.second};
}

bool RequestIndex::isKeyOf(std::uint64_t key, std::size_t number) const {
    const auto found = occurrences(key);
    return std::binary_search(
        found.begin(), found.end(), Occurrence(key, static_cast<std::uint32_t>(number)),
        [](const Occurrence& a, const Occurrence& b) { return a.number() < b.number(); });
}
