#include "conversation/RequestIndex.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "conversation/Exchanges.h"

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
    const auto add = [&](const std::optional<Exchange>& exchange) {
        if (!exchange) return;
        // Beyond 4 GiB one request is no request a device answers: it is kept at that length, so
        // it is never matched.
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            exchange->requestLength, std::numeric_limits<std::uint32_t>::max()));
        if (offsets_.size() == kMostRequests) {
            tooMany = true;
            return;
        }
        occurrences_.emplace_back(keyOf(exchange->requestHash, exchange->requestLength),
                                  static_cast<std::uint32_t>(offsets_.size()));
        offsets_.push_back(exchange->firstOffset);
        lengths_.insert(length);
        longest_ = std::max(longest_, length);
    };
    ConversationBurst burst;
    bool first = true;
    while (reader.next(burst)) {
        if (first) {
            firstMicros_ = burst.timeMicros;
            if (burst.direction == Direction::Device) earlyOffset_ = burst.offset;
            first = false;
        }
        add(splitter.add(burst));
    }
    if (reader.failure().happened()) return reader.failure();
    add(splitter.finish());
    if (tooMany) {
        Failure failure = fileFailure(Failure::Kind::ReadInput, path, {});
        failure.detail = "it holds more than " + std::to_string(kMostRequests) + " requests";
        return failure;
    }
    std::sort(occurrences_.begin(), occurrences_.end(), [](const auto& a, const auto& b) {
        return a.key() != b.key() ? a.key() < b.key() : a.number() < b.number();
    });
    return markRequestsThatMayGrow();
}

// Whether a request may still grow is asked of every request answered, so it is settled here
// once per distinct request: each one's prefixes of a length some request has are looked up.
Failure RequestIndex::markRequestsThatMayGrow() {
    ConversationReader reader;
    if (Failure opened = reader.open(path_); opened.happened()) return opened;
    RecordedRequest request;
    for (std::size_t start = 0; start < occurrences_.size();) {
        std::size_t end = start + 1;
        while (end < occurrences_.size() && occurrences_[end].key() == occurrences_[start].key())
            ++end;
        const std::uint32_t number = occurrences_[start].number();
        start = end;
        if (!readRequest(reader, offsets_[number], std::nullopt, request))
            return changedWhileRead(reader, path_);
        std::uint64_t hash = kRequestHashStart;
        for (std::size_t done = 0; done + 1 < request.bytes.size(); ++done) {
            hash = continueRequestHash(hash, {&request.bytes[done], 1});
            if (!lengths_.contains(static_cast<std::uint32_t>(done + 1))) continue;
            const std::uint64_t key = keyOf(hash, done + 1);
            auto range = std::equal_range(occurrences_.begin(), occurrences_.end(),
                                          Occurrence(key, 0), byKey);
            for (auto it = range.first; it != range.second; ++it) it->setMayGrow();
        }
    }
    return {};
}

std::span<const RequestIndex::Occurrence> RequestIndex::occurrences(std::uint64_t key) const {
    const auto range =
        std::equal_range(occurrences_.begin(), occurrences_.end(), Occurrence(key, 0), byKey);
    return {range.first, range.second};
}

bool RequestIndex::isKeyOf(std::uint64_t key, std::size_t number) const {
    const auto found = occurrences(key);
    return std::binary_search(
        found.begin(), found.end(), Occurrence(key, static_cast<std::uint32_t>(number)),
        [](const Occurrence& a, const Occurrence& b) { return a.number() < b.number(); });
}

bool readRequest(ConversationReader& reader, std::uint64_t offset,
                 std::optional<std::uint64_t> length, RecordedRequest& request) {
    request.bytes.clear();
    if (!reader.continueFrom(offset)) return false;
    ConversationBurst burst;
    while ((!length || request.bytes.size() < *length) && reader.next(burst)) {
        if (burst.direction != Direction::Host) break;
        request.bytes.insert(request.bytes.end(), burst.bytes.begin(), burst.bytes.end());
        request.endMicros = burst.timeMicros;
    }
    if (reader.failure().happened() || request.bytes.empty()) return false;
    return !length || request.bytes.size() == *length;
}
