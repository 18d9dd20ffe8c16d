#include "network/NetworkConnection.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kLargestSend = 1 << 20;

}  // namespace

bool NetworkConnection::flushQueueLocked() {
    while (!queued_.empty()) {
        std::uint32_t sent = 0;
        const auto size =
            static_cast<std::uint32_t>(std::min<std::size_t>(queued_.size(), kLargestSend));
        const TcpSocket::Io io = socket_.send(queued_.data(), size, &sent);
        if (io == TcpSocket::Io::WouldBlock) return true;
        if (io != TcpSocket::Io::Done) {
            sendError_ = socket_.errorText();
            return false;
        }
        queued_.erase(queued_.begin(), queued_.begin() + sent);
    }
    return true;
}

bool NetworkConnection::sendProtocol(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(sending_);
    queued_.insert(queued_.end(), bytes.begin(), bytes.end());
    return lineMidway_ || flushQueueLocked();
}

bool NetworkConnection::sendLine(std::span<const std::uint8_t> bytes,
                                 std::chrono::milliseconds limit, std::uint32_t* sent,
                                 bool (*unsplittable)(std::span<const std::uint8_t>, std::size_t)) {
    *sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto timeLeft = [&] {
        if (limit.count() < 0) return std::chrono::milliseconds(-1);
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()));
    };
    std::unique_lock lock(sending_);
    // What the reading thread queued goes first; until it has gone, the line's bytes wait.
    while (!queued_.empty()) {
        if (!flushQueueLocked()) return false;
        if (queued_.empty()) break;
        lock.unlock();
        const bool room = socket_.waitForRoom(timeLeft());
        lock.lock();
        if (!room) return queued_.empty() || flushQueueLocked();
    }
    lineMidway_ = true;
    bool ok = true;
    while (*sent < bytes.size()) {
        std::uint32_t now = 0;
        const auto left =
            static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - *sent, kLargestSend));
        const TcpSocket::Io io = socket_.send(bytes.data() + *sent, left, &now);
        if (io == TcpSocket::Io::Done) {
            *sent += now;
            continue;
        }
        if (io != TcpSocket::Io::WouldBlock) {
            sendError_ = socket_.errorText();
            ok = false;
            break;
        }
        // Full until the peer reads: wait without the lock, so that the reading thread's
        // protocol bytes can queue meanwhile. A stop inside a doubled 255 would garble what
        // follows: the pair is finished if the peer takes it within a second.
        const bool inPair = *sent > 0 && unsplittable && unsplittable(bytes, *sent - 1);
        std::chrono::milliseconds wait = timeLeft();
        if (inPair && wait.count() >= 0) wait = std::max(wait, std::chrono::milliseconds(1000));
        lock.unlock();
        const bool room = socket_.waitForRoom(wait);
        lock.lock();
        if (!room) {
            if (inPair) {
                sendError_ = "the far end takes nothing";
                ok = false;
            }
            break;
        }
    }
    lineMidway_ = false;
    return flushQueueLocked() && ok;
}
