#include "conversation/RequestIndex.h"

#include <algorithm>
#include <limits>
#include <set>

#include "conversation/Exchanges.h"

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
    ExchangeSplitter splitter;
    const auto add = [&](const std::optional<Exchange>& exchange) {
        if (!exchange) return;
        // Beyond 4 GiB one request is no request a device answers: it is kept at that length, so
        // it is never matched.
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            exchange->requestLength, std::numeric_limits<std::uint32_t>::max()));
        occurrences_.push_back({keyOf(exchange->requestHash, exchange->requestLength),
                                static_cast<std::uint32_t>(offsets_.size()), false});
        offsets_.push_back(exchange->firstOffset);
        lengths_.push_back(length);
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
    std::sort(occurrences_.begin(), occurrences_.end(), [](const auto& a, const auto& b) {
        return a.key != b.key ? a.key < b.key : a.number < b.number;
    });
    return markRequestsThatMayGrow();
}

// Whether a request may still grow is asked of every request answered, so it is settled here
// once per distinct request: each one's prefixes of a length some request has are looked up.
Failure RequestIndex::markRequestsThatMayGrow() {
    std::set<std::uint32_t> lengths(lengths_.begin(), lengths_.end());
    ConversationReader reader;
    if (Failure opened = reader.open(path_); opened.happened()) return opened;
    RecordedRequest request;
    for (std::size_t start = 0; start < occurrences_.size();) {
        std::size_t end = start + 1;
        while (end < occurrences_.size() && occurrences_[end].key == occurrences_[start].key) ++end;
        const std::uint32_t number = occurrences_[start].number;
        start = end;
        if (lengths_[number] <= *lengths.begin()) continue;
        if (!readRequest(reader, offsets_[number], lengths_[number], request))
            return changedWhileRead(reader, path_);
        std::uint64_t hash = kRequestHashStart;
        for (std::size_t done = 0; done + 1 < request.bytes.size(); ++done) {
            hash = continueRequestHash(hash, {&request.bytes[done], 1});
            if (!lengths.contains(static_cast<std::uint32_t>(done + 1))) continue;
            const std::uint64_t key = keyOf(hash, done + 1);
            auto range = std::equal_range(
                occurrences_.begin(), occurrences_.end(), Occurrence{key, 0, false},
                [](const Occurrence& a, const Occurrence& b) { return a.key < b.key; });
            for (auto it = range.first; it != range.second; ++it) it->mayGrow = true;
        }
    }
    return {};
}

std::span<const RequestIndex::Occurrence> RequestIndex::occurrences(std::uint64_t key) const {
    const auto range =
        std::equal_range(occurrences_.begin(), occurrences_.end(), Occurrence{key, 0, false},
                         [](const Occurrence& a, const Occurrence& b) { return a.key < b.key; });
    return {range.first, range.second};
}

bool RequestIndex::isKeyOf(std::uint64_t key, std::size_t number) const {
    const auto found = occurrences(key);
    return std::binary_search(
        found.begin(), found.end(), Occurrence{key, static_cast<std::uint32_t>(number), false},
        [](const Occurrence& a, const Occurrence& b) { return a.number < b.number; });
}

bool readRequest(ConversationReader& reader, std::uint64_t offset, std::uint32_t length,
                 RecordedRequest& request) {
    request.bytes.clear();
    if (!reader.continueFrom(offset)) return false;
    ConversationBurst burst;
    while (request.bytes.size() < length && reader.next(burst)) {
        if (burst.direction != Direction::Host) break;
        request.bytes.insert(request.bytes.end(), burst.bytes.begin(), burst.bytes.end());
        request.endMicros = burst.timeMicros;
    }
    return request.bytes.size() == length && !reader.failure().happened();
}
