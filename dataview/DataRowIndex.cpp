#include "dataview/DataRowIndex.h"

void DataRowIndex::append(const std::vector<DataRowEntry>& entries) {
    std::lock_guard lock(mutex_);
    for (const DataRowEntry& entry : entries) {
        if (size_ % kBlockRows == 0) blocks_.push_back(std::make_unique<Block>());
        (*blocks_.back())[size_ % kBlockRows] = entry;
        ++size_;
    }
}

void DataRowIndex::clear() {
    std::lock_guard lock(mutex_);
    blocks_.clear();
    size_ = 0;
}

std::uint64_t DataRowIndex::size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

std::optional<DataRowEntry> DataRowIndex::at(std::uint64_t row) const {
    std::lock_guard lock(mutex_);
    if (row >= size_) return std::nullopt;
    return entryLocked(row);
}

std::optional<std::uint64_t> DataRowIndex::lastRowAtOrBefore(std::uint64_t time) const {
    std::lock_guard lock(mutex_);
    // First row later than time, by bisection; the row before it is the answer.
    std::uint64_t low = 0;
    std::uint64_t high = size_;
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (entryLocked(middle).time <= time)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) return std::nullopt;
    return low - 1;
}
