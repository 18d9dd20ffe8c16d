#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "engine/SystemError.h"
#include "network/TcpSocket.h"

namespace {

// Winsock wants starting once in a process before any call; it stays until the program ends.
bool winsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

std::string socketErrorText(int number) {
    return systemErrorText({SystemError::Numbering::System, number});
}

// Each byte goes out at once: a serial line's bursts are small and their timing is the point.
void sendAtOnce(SOCKET socket) {
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// 1 when the socket is ready for the asked direction, 0 when the time ran out, -1 on failure.
int selectOne(SOCKET socket, bool forWriting, int timeoutMs) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int result = select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr,
                              &failed, timeoutMs < 0 ? nullptr : &limit);
    if (result <= 0) return result;
    return FD_ISSET(socket, &failed) ? -1 : 1;
}

struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList() {
        if (first) freeaddrinfo(first);
    }
};

// The addresses to connect to or listen on; false with the reason in *why.
bool resolve(const std::string& host, std::uint16_t port, bool listening, AddressList* addresses,
             std::string* why) {
    if (!winsockStarted()) {
        *why = "the system's sockets would not start";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (listening) hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses->first)) {
        *why = "cannot resolve " + host + ": " + socketErrorText(error);
        return false;
    }
    return true;
}

}  // namespace

struct TcpSocket::Impl {
    SOCKET socket = INVALID_SOCKET;
    // Signalled by input, a waiting connection or the peer's close; the port wait watches it.
    WSAEVENT event = WSA_INVALID_EVENT;
    ~Impl() { closeNow(); }
    void closeNow() {
        if (socket != INVALID_SOCKET) closesocket(socket);
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
        socket = INVALID_SOCKET;
        event = WSA_INVALID_EVENT;
    }
    // Also makes the socket non-blocking.
    bool watch() {
        event = WSACreateEvent();
        return event != WSA_INVALID_EVENT &&
               WSAEventSelect(socket, event, FD_READ | FD_ACCEPT | FD_CLOSE) == 0;
    }
};

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}
TcpSocket::~TcpSocket() = default;
TcpSocket::TcpSocket(TcpSocket&& other) noexcept = default;
TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept = default;

bool TcpSocket::connect(const std::string& host, std::uint16_t port,
                        std::chrono::milliseconds timeout) {
    close();
    AddressList addresses;
    if (!resolve(host, port, false, &addresses, &errorText_)) return false;
    for (addrinfo* at = addresses.first; at; at = at->ai_next) {
        impl_->socket = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        if (impl_->socket == INVALID_SOCKET || !impl_->watch()) {
            errorText_ = socketErrorText(WSAGetLastError());
            impl_->closeNow();
            continue;
        }
        if (::connect(impl_->socket, at->ai_addr, static_cast<int>(at->ai_addrlen)) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK) {
            errorText_ = socketErrorText(WSAGetLastError());
            impl_->closeNow();
            continue;
        }
        const int ready = selectOne(impl_->socket, true, static_cast<int>(timeout.count()));
        int error = 0;
        int length = sizeof error;
        if (ready == 0) {
            errorText_ = "no answer within " + std::to_string(timeout.count()) + " ms";
        } else if (getsockopt(impl_->socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                              &length) != 0) {
            errorText_ = socketErrorText(WSAGetLastError());
        } else if (error != 0 || ready < 0) {
            errorText_ = socketErrorText(error != 0 ? error : WSAECONNREFUSED);
        } else {
            sendAtOnce(impl_->socket);
            errorText_.clear();
            return true;
        }
        impl_->closeNow();
    }
    return false;
}

bool TcpSocket::listen(const std::string& address, std::uint16_t port) {
    close();
    AddressList addresses;
    if (!resolve(address, port, true, &addresses, &errorText_)) return false;
    for (addrinfo* at = addresses.first; at; at = at->ai_next) {
        impl_->socket = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        // Exclusive, so that a second program cannot take the same port beside us.
        const BOOL on = TRUE;
        if (impl_->socket != INVALID_SOCKET &&
            setsockopt(impl_->socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                       reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
            ::bind(impl_->socket, at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0 &&
            ::listen(impl_->socket, 4) == 0 && impl_->watch()) {
            errorText_.clear();
            return true;
        }
        errorText_ = socketErrorText(WSAGetLastError());
        impl_->closeNow();
    }
    return false;
}

TcpSocket::Io TcpSocket::accept(TcpSocket* client) {
    const SOCKET socket = ::accept(impl_->socket, nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAECONNRESET) return Io::WouldBlock;
        errorText_ = socketErrorText(error);
        return Io::Failed;
    }
    client->close();
    client->impl_->socket = socket;
    // The accepted socket shares the listener's event selection: it gets its own.
    if (!client->impl_->watch()) {
        errorText_ = socketErrorText(WSAGetLastError());
        client->close();
        return Io::Failed;
    }
    sendAtOnce(socket);
    return Io::Done;
}

bool TcpSocket::isOpen() const { return impl_ && impl_->socket != INVALID_SOCKET; }

void TcpSocket::close() {
    if (impl_) impl_->closeNow();
}

std::uint16_t TcpSocket::localPort() const {
    sockaddr_storage address{};
    int length = sizeof address;
    if (!isOpen() ||
        getsockname(impl_->socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

std::string TcpSocket::peerText() const {
    sockaddr_storage address{};
    int length = sizeof address;
    if (!isOpen() ||
        getpeername(impl_->socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "?";
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return std::string(host) + ":" + service;
}

TcpSocket::Io TcpSocket::receive(void* buffer, std::uint32_t count, std::uint32_t* received) {
    *received = 0;
    const int n = ::recv(impl_->socket, static_cast<char*>(buffer),
                         static_cast<int>(std::min<std::uint32_t>(count, 1 << 30)), 0);
    if (n > 0) {
        *received = static_cast<std::uint32_t>(n);
        return Io::Done;
    }
    if (n == 0) return count == 0 ? Io::WouldBlock : Io::Closed;
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return Io::WouldBlock;
    errorText_ = socketErrorText(error);
    return (error == WSAECONNRESET || error == WSAECONNABORTED) ? Io::Closed : Io::Failed;
}

TcpSocket::Io TcpSocket::send(const void* data, std::uint32_t count, std::uint32_t* sent) {
    *sent = 0;
    const int n = ::send(impl_->socket, static_cast<const char*>(data),
                         static_cast<int>(std::min<std::uint32_t>(count, 1 << 30)), 0);
    if (n >= 0) {
        *sent = static_cast<std::uint32_t>(n);
        return Io::Done;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return Io::WouldBlock;
    errorText_ = socketErrorText(error);
    return (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN)
               ? Io::Closed
               : Io::Failed;
}

bool TcpSocket::waitForRoom(std::chrono::milliseconds limit) {
    return selectOne(impl_->socket, true, static_cast<int>(limit.count())) > 0;
}

void TcpSocket::shutdownSending() {
    if (isOpen()) ::shutdown(impl_->socket, SD_SEND);
}

std::intptr_t TcpSocket::waitObject() const {
    return isOpen() ? reinterpret_cast<std::intptr_t>(impl_->event) : 0;
}

// The event stays set until its network events are taken, which also arms it again.
bool TcpSocket::afterWait(std::uint32_t events) {
    if (!events || !isOpen()) return false;
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(impl_->socket, impl_->event, &happened);
    return true;
}
