#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/Failure.h"
#include "engine/WaitablePort.h"

// Writes bytes to one port on a thread of its own, in the order they were queued, so that the
// thread reading the ports never waits on a write. Bytes that find the queue empty and the
// writer idle are written at once by the thread that queues them, as far as the port takes them
// without waiting: the hand-over to the writer thread costs more than the write. The queue is
// bounded: when it is full, queue() waits for room (back-pressure on the reader). A failed write
// ends the writer with the port's PortLost failure, which failure() tells. Destroying it finishes:
// what is queued is still written if that takes at most the drain time, the rest is dropped, and
// the thread is joined.
class QueuedPortWriter {
public:
    static constexpr std::size_t kDefaultLimit = 16u << 20;

    QueuedPortWriter(WaitablePort& port, std::string name, std::size_t limit = kDefaultLimit);
    ~QueuedPortWriter();
    QueuedPortWriter(const QueuedPortWriter&) = delete;
    QueuedPortWriter& operator=(const QueuedPortWriter&) = delete;

    // Starts the stop that destroying finishes, so that several writers drain at once.
    void finish();
    // Queues the bytes, waiting at most `wait` for room. False when they were not queued: no
    // room in time, or the writer has failed.
    bool queue(std::span<const std::uint8_t> bytes, std::chrono::milliseconds wait);
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    // The write's failure once failed() is true; none before.
    Failure failure() const;

private:
    void run(std::stop_token stop);
    bool writeOut(const std::vector<std::uint8_t>& bytes, const std::stop_token& stop);
    // With the lock held: the port's failure, for both threads.
    void failLocked();

    WaitablePort& port_;
    const std::string name_;
    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::vector<std::uint8_t>> bursts_;
    std::size_t queuedBytes_ = 0;
    bool writing_ = false;  // the writer thread has bytes it took from the queue
    Failure failure_;
    std::atomic<bool> failed_{false};
    std::chrono::steady_clock::time_point dropAt_{};  // set when asked to stop
    std::jthread thread_;  // last: starts once the rest is ready, joined first
};
