#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "conversation/ConversationReader.h"
#include "engine/Failure.h"

// The requests of a conversation file, found in one pass, for answering them as the device did:
// where each request starts and how long it is, and equal requests by their hash, in file order.
// The bytes stay in the file and are read again when needed, a piece at a time: about 24 bytes a
// request, however long the file and its requests.
class RequestIndex {
public:
    // One request in the table of equal requests, which is sorted by key, then by number. Held
    // in 12 bytes: its key in two halves, its number with whether it may grow in the top bit.
    class Occurrence {
    public:
        Occurrence(std::uint64_t key, std::uint32_t number)
            : keyLow_(static_cast<std::uint32_t>(key)),
              keyHigh_(static_cast<std::uint32_t>(key >> 32)),
              number_(number) {}
        std::uint64_t key() const { return static_cast<std::uint64_t>(keyHigh_) << 32 | keyLow_; }
        // The request's place in the file, from 0.
        std::uint32_t number() const { return number_ & ~kMayGrow; }
        // A longer recorded request begins with these bytes: a request of these bytes may still
        // grow into that one.
        bool mayGrow() const { return (number_ & kMayGrow) != 0; }
        void setMayGrow() { number_ |= kMayGrow; }

    private:
        static constexpr std::uint32_t kMayGrow = 0x8000'0000u;
        std::uint32_t keyLow_, keyHigh_, number_;
    };
    static constexpr std::size_t kMostRequests = 0x7FFF'FFFF;
    // Requests longer than this are also found by the key of their first kPrefixLength bytes:
    // bytes that came are held only that far, and compared with the file beyond.
    static constexpr std::size_t kPrefixLength = 4096;

    // The key of a request of `length` bytes with this hash (continueRequestHash).
    static std::uint64_t keyOf(std::uint64_t hash, std::uint64_t length);

    // Reads the whole file once. A file that cannot be read fails; one with no requests is
    // indexed (it may still hold the device's early bytes).
    Failure build(const std::string& path);

    const std::string& path() const { return path_; }
    std::size_t requestCount() const { return offsets_.size(); }
    std::uint64_t offsetOf(std::size_t number) const { return offsets_[number]; }
    std::uint32_t longestRequest() const { return longest_; }
    // The requests with this key in file order; empty when none.
    std::span<const Occurrence> occurrences(std::uint64_t key) const;
    bool isKeyOf(std::uint64_t key, std::size_t number) const;
    // The requests longer than kPrefixLength whose first kPrefixLength bytes have this key, in
    // file order; empty when none.
    std::span<const Occurrence> longRequestsBeginning(std::uint64_t prefixKey) const;

    // The device's bursts before the host's first request start here (none when the host spoke
    // first); they are due from the file's first instant.
    std::optional<std::uint64_t> earlyDeviceOffset() const { return earlyOffset_; }
    std::uint64_t firstMicros() const { return firstMicros_; }

private:
    Failure markRequestsThatMayGrow();

    std::string path_;
    std::vector<std::uint64_t> offsets_;
    std::set<std::uint32_t> lengths_;  // the lengths requests have
    std::vector<Occurrence> occurrences_;
    std::vector<Occurrence> longRequests_;  // keyed by their first kPrefixLength bytes
    std::uint32_t longest_ = 0;
    std::optional<std::uint64_t> earlyOffset_;
    std::uint64_t firstMicros_ = 0;
};

// The reader's failure, or else that the file is no longer what was indexed.
Failure changedWhileRead(const ConversationReader& reader, const std::string& path);
