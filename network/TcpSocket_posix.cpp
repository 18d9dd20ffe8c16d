#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/SerialTimeoutPlan.h"
#include "engine/SystemError.h"
#include "network/TcpSocket.h"

struct TcpSocket::Impl {
    int fd = -1;
    ~Impl() { closeNow(); }
    void closeNow() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

namespace {

std::string errnoText(int number) { return systemErrorText(cLibraryError(number)); }

bool makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Each byte goes out at once: a serial line's bursts are small and their timing is the point.
void sendAtOnce(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int waitFor(int fd, short events, int timeoutMs) {
    pollfd watch{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&watch, 1, timeoutMs);
        if (ready >= 0) return ready > 0 ? watch.revents : 0;
        if (errno != EINTR) return -1;
    }
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (listening) hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses->first)) {
        *why = std::string("cannot resolve ") + host + ": " + gai_strerror(error);
        return false;
    }
    return true;
}

}  // namespace

TcpSocket::TcpSocket() : impl_(std::make_unique<Impl>()) {}
TcpSocket::~TcpSocket() = default;
TcpSocket::TcpSocket(TcpSocket&& other) noexcept = default;
TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept = default;

bool TcpSocket::connect(const std::string& host, std::uint16_t port,
                        std::chrono::milliseconds timeout) {
    close();
    AddressList addresses;
    if (!resolve(host, port, false, &addresses, &errorText_)) return false;
    const auto deadline = SerialClock::now() + timeout;
    for (addrinfo* at = addresses.first; at; at = at->ai_next) {
        impl_->fd = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        if (impl_->fd < 0 || !makeNonBlocking(impl_->fd)) {
            errorText_ = errnoText(errno);
            impl_->closeNow();
            continue;
        }
        if (::connect(impl_->fd, at->ai_addr, at->ai_addrlen) != 0 && errno != EINPROGRESS) {
            errorText_ = errnoText(errno);
            impl_->closeNow();
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SerialClock::now());
        const int events =
            waitFor(impl_->fd, POLLOUT, static_cast<int>(std::max<long long>(left.count(), 0)));
        int error = 0;
        socklen_t length = sizeof error;
        if (events == 0) {
            errorText_ = "no answer within " + std::to_string(timeout.count()) + " ms";
        } else if (events < 0 ||
                   getsockopt(impl_->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            errorText_ = errnoText(errno);
        } else if (error != 0) {
            errorText_ = errnoText(error);
        } else {
            sendAtOnce(impl_->fd);
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
        impl_->fd = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        const int on = 1;
        if (impl_->fd >= 0 && makeNonBlocking(impl_->fd) &&
            setsockopt(impl_->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(impl_->fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(impl_->fd, 4) == 0) {
            errorText_.clear();
            return true;
        }
        errorText_ = errnoText(errno);
        impl_->closeNow();
    }
    return false;
}

TcpSocket::Io TcpSocket::accept(TcpSocket* client) {
    const int fd = ::accept(impl_->fd, nullptr, nullptr);
    if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
            return Io::WouldBlock;
        errorText_ = errnoText(errno);
        return Io::Failed;
    }
    client->close();
    client->impl_->fd = fd;
    if (!makeNonBlocking(fd)) {
        errorText_ = errnoText(errno);
        client->close();
        return Io::Failed;
    }
    sendAtOnce(fd);
    return Io::Done;
}

bool TcpSocket::isOpen() const { return impl_ && impl_->fd >= 0; }

void TcpSocket::close() {
    if (impl_) impl_->closeNow();
}

std::uint16_t TcpSocket::localPort() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!isOpen() || getsockname(impl_->fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

std::string TcpSocket::peerText() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!isOpen() || getpeername(impl_->fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
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
    for (;;) {
        const ssize_t n = ::recv(impl_->fd, buffer, count, 0);
        if (n > 0) {
            *received = static_cast<std::uint32_t>(n);
            return Io::Done;
        }
        if (n == 0) return count == 0 ? Io::WouldBlock : Io::Closed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::WouldBlock;
        errorText_ = errnoText(errno);
        return errno == ECONNRESET ? Io::Closed : Io::Failed;
    }
}

TcpSocket::Io TcpSocket::send(const void* data, std::uint32_t count, std::uint32_t* sent) {
    *sent = 0;
    for (;;) {
        const ssize_t n = ::send(impl_->fd, data, count, MSG_NOSIGNAL);
        if (n >= 0) {
            *sent = static_cast<std::uint32_t>(n);
            return Io::Done;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::WouldBlock;
        errorText_ = errnoText(errno);
        return (errno == EPIPE || errno == ECONNRESET) ? Io::Closed : Io::Failed;
    }
}

bool TcpSocket::waitForRoom(std::chrono::milliseconds limit) {
    std::optional<std::uint64_t> limitMs;
    if (limit.count() >= 0) limitMs = static_cast<std::uint64_t>(limit.count());
    const auto deadline = deadlineAfter(SerialClock::now(), limitMs);
    for (;;) {
        const int wait = pollTimeoutMs(SerialClock::now(), deadline, std::nullopt);
        const int events = waitFor(impl_->fd, POLLOUT, wait);
        if (events != 0) return events > 0;
        if (wait == 0) return false;
    }
}

void TcpSocket::shutdownSending() {
    if (isOpen()) ::shutdown(impl_->fd, SHUT_WR);
}

std::intptr_t TcpSocket::waitObject() const { return isOpen() ? impl_->fd : -1; }

bool TcpSocket::afterWait(std::uint32_t events) { return events != 0; }
