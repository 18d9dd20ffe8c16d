#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "engine/SystemError.h"

// An output file written in large blocks: callers format straight into the block and the C
// library sees one write per block instead of one per field or byte.
class BlockOutput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    BlockOutput() = default;
    ~BlockOutput();
    BlockOutput(const BlockOutput&) = delete;
    BlockOutput& operator=(const BlockOutput&) = delete;

    // Writes to a stream opened for it ("wb"), which close closes.
    void open(std::FILE* file);
    // Writes to a stream the caller owns (standard output): close flushes it and leaves it open.
    void attach(std::FILE* stream);
    bool isOpen() const { return file_ != nullptr; }
    // A write has failed since open.
    bool failed() const { return failed_; }

    // At least count (<= kBlockSize) writable bytes at the write point; commit what was used.
    std::uint8_t* room(std::size_t count) {
        if (kBlockSize - used_ < count) flush();
        return block_.get() + used_;
    }
    void commit(std::size_t count) { used_ += count; }
    void append(const void* data, std::size_t count);

    // Writes out the rest and closes. False when any write or the close failed; true when
    // nothing was open.
    bool close();
    // The system's reason for the first failed write or close since open (engine/WriteFailure.h);
    // unset when none failed.
    SystemError writeError() const { return writeError_; }

private:
    void start(std::FILE* file, bool owned);
    void flush();
    void noteFailure();

    std::FILE* file_ = nullptr;
    bool owned_ = true;
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t used_ = 0;
    bool failed_ = false;
    SystemError writeError_;
};
