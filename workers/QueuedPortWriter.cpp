#include "workers/QueuedPortWriter.h"

#include <algorithm>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Each write call is this long at most, so that a writer whose far side takes nothing still sees
// a stop in good time.
constexpr std::chrono::milliseconds kWriteStep{50};
// What a stop leaves the writer to write what is queued.
constexpr std::chrono::milliseconds kDrainTime{250};
// Bytes given to one write call: small bursts are joined up to this.
constexpr std::size_t kLargestWrite = 64 * 1024;

}  // namespace

QueuedPortWriter::QueuedPortWriter(WaitablePort& port, std::string name, std::size_t limit)
    : port_(port),
      name_(std::move(name)),
      limit_(limit),
      thread_([this](std::stop_token stop) { run(stop); }) {}

QueuedPortWriter::~QueuedPortWriter() {
    finish();
    thread_.join();
}

void QueuedPortWriter::finish() {
    if (thread_.get_stop_token().stop_requested()) return;
    {
        std::lock_guard lock(mutex_);
        dropAt_ = SteadyClock::now() + kDrainTime;
    }
    thread_.request_stop();  // wakes the writer's wait
}

bool QueuedPortWriter::queue(std::span<const std::uint8_t> bytes, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    // A burst larger than the whole limit is let in on an empty queue, rather than never.
    const bool room = changed_.wait_for(lock, wait, [&] {
        return failed() || queuedBytes_ == 0 || queuedBytes_ + bytes.size() <= limit_;
    });
    if (!room || failed()) return false;
    if (bursts_.empty() && !writing_) {
        // Nothing is ahead of these bytes: what the port takes now goes at once, in order.
        std::uint32_t moved = 0;
        if (!port_.writeWithin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &moved,
                               std::chrono::milliseconds(0))) {
            failLocked();
            return false;
        }
        bytes = bytes.subspan(std::min<std::size_t>(moved, bytes.size()));
        if (bytes.empty()) return true;
    }
    bursts_.emplace_back(bytes.begin(), bytes.end());
    queuedBytes_ += bytes.size();
    changed_.notify_all();
    return true;
}

Failure QueuedPortWriter::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void QueuedPortWriter::run(std::stop_token stop) {
    std::vector<std::uint8_t> chunk;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, stop, [&] { return !bursts_.empty(); });
            if (bursts_.empty()) return;  // asked to stop with nothing left
            if (stop.stop_requested() && SteadyClock::now() >= dropAt_) return;
            chunk.clear();
            while (!bursts_.empty() && chunk.size() + bursts_.front().size() <= kLargestWrite) {
                chunk.insert(chunk.end(), bursts_.front().begin(), bursts_.front().end());
                bursts_.pop_front();
            }
            if (chunk.empty()) {  // one burst larger than a write: it goes alone
                chunk.swap(bursts_.front());
                bursts_.pop_front();
            }
            queuedBytes_ -= chunk.size();
            writing_ = true;
            changed_.notify_all();
        }
        const bool written = writeOut(chunk, stop);
        {
            std::lock_guard lock(mutex_);
            writing_ = false;
        }
        if (!written) return;
    }
}

// False when the writer is to end: the write failed, or a stop's drain time ran out.
bool QueuedPortWriter::writeOut(const std::vector<std::uint8_t>& bytes,
                                const std::stop_token& stop) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::uint32_t moved = 0;
        if (!port_.writeWithin(bytes.data() + done, static_cast<std::uint32_t>(bytes.size() - done),
                               &moved, kWriteStep)) {
            std::lock_guard lock(mutex_);
            failLocked();
            return false;
        }
        done += moved;
        if (done < bytes.size() && stop.stop_requested()) {
            std::lock_guard lock(mutex_);
            if (SteadyClock::now() >= dropAt_) return false;
        }
    }
    return true;
}

void QueuedPortWriter::failLocked() {
    failure_ = portFailure(Failure::Kind::PortLost, name_, port_.writeErrorText());
    failed_.store(true, std::memory_order_release);
    changed_.notify_all();
}
