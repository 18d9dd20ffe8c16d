#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "network/TcpSocket.h"

// One TCP connection that a port reads on one thread and writes on another. The line's bytes
// are written by the writing thread, waiting for room as long as it is allowed; protocol bytes
// (answers to the peer's negotiation, notifications) come from the reading thread, which must
// never wait for room: they go out at once when they can and otherwise wait in a queue that the
// next send of either thread takes first. Neither kind is ever cut into the other's middle.
class NetworkConnection {
public:
    explicit NetworkConnection(TcpSocket socket) : socket_(std::move(socket)) {}

    TcpSocket& socket() { return socket_; }

    // Reading thread: queues protocol bytes and sends what the socket takes now.
    bool sendProtocol(std::span<const std::uint8_t> bytes);
    // Writing thread: sends all of bytes within limit (negative: no limit); *sent gets how many
    // went. A piece may not be cut just anywhere: unsplittable(i) says that a stop after byte
    // i would break the stream (the first of a doubled 255), and such a stop sends one more.
    bool sendLine(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit,
                  std::uint32_t* sent,
                  bool (*unsplittable)(std::span<const std::uint8_t>, std::size_t));
    // Text for the last failed send.
    const std::string& sendErrorText() const { return sendError_; }

private:
    // With the lock held: sends what the socket takes of the queue now; false on failure.
    bool flushQueueLocked();

    TcpSocket socket_;
    std::mutex sending_;
    std::vector<std::uint8_t> queued_;
    bool lineMidway_ = false;  // the writing thread has a piece half sent: the queue waits
    std::string sendError_;
};
