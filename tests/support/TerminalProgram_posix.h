#pragma once

// A program under test on a terminal device (POSIX): opens it raw, as a serial program does,
// writes requests and reads answers with a time limit. Header only, for native tests.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TerminalProgram {
public:
    TerminalProgram() = default;
    ~TerminalProgram() { close(); }
    TerminalProgram(const TerminalProgram&) = delete;
    TerminalProgram& operator=(const TerminalProgram&) = delete;

    bool open(const std::string& path) {
        close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios settings{};
        if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) return false;
        cfmakeraw(&settings);
        return tcsetattr(fd_, TCSANOW, &settings) == 0;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool send(const std::vector<std::uint8_t>& bytes) {
        return fd_ >= 0 &&
               ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Reads until count bytes came or the limit passed; returns what came.
    std::vector<std::uint8_t> receive(std::size_t count, std::chrono::milliseconds limit) {
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (fd_ >= 0 && got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd wait{fd_, POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0) continue;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    // The descriptor (non-blocking), for a test that drives it itself; -1 when closed.
    int descriptor() const { return fd_; }

private:
    int fd_ = -1;
};
