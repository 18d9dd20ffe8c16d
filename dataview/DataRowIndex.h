#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Where each row of the data view starts in its file and its time (tenths for a serial file,
// microseconds since the epoch for a conversation): 16 bytes a row. One thread appends while
// another reads; the rows sit in fixed blocks, so growing never moves or copies them.
struct DataRowEntry {
    std::uint64_t offset = 0;
    std::uint64_t time = 0;
};

class DataRowIndex {
public:
    void append(const std::vector<DataRowEntry>& entries);
    void clear();
    std::uint64_t size() const;
    std::optional<DataRowEntry> at(std::uint64_t row) const;
    // The last row whose time is at or before time (times never decrease in a recording);
    // nothing when the first row is already later or there is no row.
    std::optional<std::uint64_t> lastRowAtOrBefore(std::uint64_t time) const;

private:
    static constexpr std::size_t kBlockRows = 64 * 1024;
    using Block = std::array<DataRowEntry, kBlockRows>;

    const DataRowEntry& entryLocked(std::uint64_t row) const {
        return (*blocks_[row / kBlockRows])[row % kBlockRows];
    }

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::uint64_t size_ = 0;
};
