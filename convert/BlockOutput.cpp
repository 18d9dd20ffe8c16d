#include "convert/BlockOutput.h"

#include <algorithm>
#include <cstring>

#include "engine/WriteFailure.h"

BlockOutput::~BlockOutput() { close(); }

void BlockOutput::open(std::FILE* file) {
    close();
    // Our block is the buffer; a second one in the stream would only copy every byte again.
    std::setvbuf(file, nullptr, _IONBF, 0);
    start(file, true);
}

void BlockOutput::attach(std::FILE* stream) {
    close();
    start(stream, false);
}

void BlockOutput::start(std::FILE* file, bool owned) {
    file_ = file;
    owned_ = owned;
    if (!block_) block_ = std::make_unique<std::uint8_t[]>(kBlockSize);
    used_ = 0;
    failed_ = false;
    writeError_ = {};
}

void BlockOutput::append(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        std::size_t part = std::min(count, kBlockSize);
        std::memcpy(room(part), bytes, part);
        commit(part);
        bytes += part;
        count -= part;
    }
}

void BlockOutput::flush() {
    if (used_ == 0) return;
    // A failed write is remembered and writing goes on: the caller decides what a short
    // output means.
    clearWriteFailure();
    if (!file_ || std::fwrite(block_.get(), 1, used_, file_) != used_) noteFailure();
    used_ = 0;
}

void BlockOutput::noteFailure() {
    if (!failed_) writeError_ = lastWriteFailure();
    failed_ = true;
}

bool BlockOutput::close() {
    if (!file_) return true;
    flush();
    if (std::ferror(file_)) noteFailure();
    clearWriteFailure();
    if ((owned_ ? std::fclose(file_) : std::fflush(file_)) != 0) noteFailure();
    file_ = nullptr;
    bool clean = !failed_;
    failed_ = false;
    return clean;
}
