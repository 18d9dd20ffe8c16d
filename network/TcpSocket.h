#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// One TCP socket, connected or listening, never blocking; closed by the destructor. Failures
// come back by result, with errorText() saying why in the system's words.
class TcpSocket {
public:
    enum class Io : std::uint8_t {
        Done,        // some bytes moved (or, for accept, a connection taken)
        WouldBlock,  // nothing to take, or no room, now
        Closed,      // the peer ended the connection
        Failed,      // see errorText()
    };

    TcpSocket();
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Connects to host:port (a name or an address) within timeout.
    bool connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout);
    // Listens on address:port; port 0 takes any free port (localPort() tells which).
    bool listen(const std::string& address, std::uint16_t port);
    // Takes a waiting connection into *client: Done, WouldBlock when none waits, or Failed.
    Io accept(TcpSocket* client);

    bool isOpen() const;
    void close();
    std::uint16_t localPort() const;
    // The peer's address and port as text ("127.0.0.1:40112"), for the log.
    std::string peerText() const;

    Io receive(void* buffer, std::uint32_t count, std::uint32_t* received);
    Io send(const void* data, std::uint32_t count, std::uint32_t* sent);
    // Waits until send may take bytes, for at most limit (negative: as long as it takes). False
    // when the time ran out or the socket failed.
    bool waitForRoom(std::chrono::milliseconds limit);
    // Sends FIN: the peer reads what was sent, then the end.
    void shutdownSending();

    // What the port wait watches: the descriptor on POSIX, an event on Windows that input,
    // a waiting connection or the peer's close signal. afterWait re-arms it (Windows resets the
    // event and notes what it told); true when there may be something to take.
    std::intptr_t waitObject() const;
    bool afterWait(std::uint32_t events);

    const char* errorText() const { return errorText_.c_str(); }

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
    std::string errorText_;
};
