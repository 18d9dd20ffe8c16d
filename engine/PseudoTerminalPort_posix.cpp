#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "engine/CommErrorText.h"
#include "engine/DescriptorWrite_posix.h"
#include "engine/PseudoTerminalPort.h"
#include "engine/SerialPortSpeed.h"
#include "engine/SystemError.h"

namespace {

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

bool setDescriptorFlags(int fd) {
    int status = fcntl(fd, F_GETFL);
    return status >= 0 && fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// A link left by an earlier run is replaced; a file of any other kind is not ours to remove.
int makeLink(const std::string& target, const std::string& link) {
    if (symlink(target.c_str(), link.c_str()) == 0) return 0;
    if (errno != EEXIST) return errno;
    struct stat existing {};
    if (lstat(link.c_str(), &existing) != 0) return errno;
    if (!S_ISLNK(existing.st_mode)) return EEXIST;
    if (unlink(link.c_str()) != 0) return errno;
    return symlink(target.c_str(), link.c_str()) == 0 ? 0 : errno;
}

bool linkPointsTo(const std::string& link, const std::string& target) {
    std::vector<char> buffer(target.size() + 2);
    ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
    return n >= 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target;
}

}  // namespace

struct PseudoTerminalPort::Impl {
    Descriptor master;
    // Our own hold on the slave. Without it the master hangs up (POLLHUP, EIO) for as long as
    // the program has the slave closed, so a wait would spin, and what we wrote meanwhile would
    // be dropped with the slave's last close.
    Descriptor slaveHold;
    std::string slavePath;
    std::string link;
    int lastError = 0;   // the reading and waiting thread's
    int writeError = 0;  // the writing thread's
    // The line as the program last set it (its speed; a pseudo-terminal keeps 8N1 whatever is
    // asked), and its changes not yet taken.
    std::uint32_t speed = 0;
    std::vector<LineEvent> settingsChanges;

    // Notes a speed the program set since the last look: the slave's settings are the
    // program's, read through our own hold on it.
    void lookAtSettings() {
        std::uint32_t now = 0;
        if (!slaveHold.valid() || readLineSpeed(slaveHold.get(), &now) != 0 || now == speed) return;
        const bool first = speed == 0;
        speed = now;
        if (first || settingsChanges.size() >= kSettingsChangesHeld) return;
        LineEvent change;
        change.kind = LineEventKind::LineSettings;
        change.speed = static_cast<std::int32_t>(now);
        settingsChanges.push_back(change);
    }
    static constexpr std::size_t kSettingsChangesHeld = 256;

    bool fail(int error) {
        lastError = error;
        return false;
    }
};

PseudoTerminalPort::PseudoTerminalPort() : impl_(std::make_unique<Impl>()) {}

PseudoTerminalPort::~PseudoTerminalPort() { close(); }

bool PseudoTerminalPort::open(const std::string& link) {
    close();
    Descriptor master(posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.valid() || !setDescriptorFlags(master.get())) return impl_->fail(errno);
    if (grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) return impl_->fail(errno);
    char name[128] = {};
    if (int error = ptsname_r(master.get(), name, sizeof name); error != 0) {
        return impl_->fail(error);
    }
    Descriptor slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!slave.valid()) return impl_->fail(errno);
    // The line discipline belongs to the slave: raw there, so that the master's bytes reach the
    // program unchanged and are not echoed back to us.
    termios settings{};
    if (tcgetattr(slave.get(), &settings) != 0) return impl_->fail(errno);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave.get(), TCSANOW, &settings) != 0) return impl_->fail(errno);
    if (!link.empty()) {
        if (int error = makeLink(name, link); error != 0) return impl_->fail(error);
    }
    impl_->master = std::move(master);
    impl_->slaveHold = std::move(slave);
    impl_->slavePath = name;
    impl_->link = link;
    impl_->speed = 0;
    impl_->settingsChanges.clear();
    impl_->lookAtSettings();
    return true;
}

void PseudoTerminalPort::close() {
    if (!impl_->link.empty() && linkPointsTo(impl_->link, impl_->slavePath)) {
        unlink(impl_->link.c_str());
    }
    impl_->link.clear();
    impl_->slavePath.clear();
    impl_->slaveHold.reset();
    impl_->master.reset();
}

bool PseudoTerminalPort::isOpen() const { return impl_->master.valid(); }

const std::string& PseudoTerminalPort::slavePath() const { return impl_->slavePath; }

bool PseudoTerminalPort::readAvailable(void* buffer, std::uint32_t count,
                                       std::uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!isOpen()) return impl_->fail(EBADF);
    for (;;) {
        ssize_t n = ::read(impl_->master.get(), buffer, count);
        if (n > 0) {
            if (bytesRead) *bytesRead = static_cast<std::uint32_t>(n);
            return true;
        }
        if (n == 0) return impl_->fail(EIO);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        return impl_->fail(errno);
    }
}

bool PseudoTerminalPort::writeWithin(const void* buffer, std::uint32_t count,
                                     std::uint32_t* bytesWritten, std::chrono::milliseconds limit) {
    std::uint32_t done = 0;
    impl_->writeError =
        isOpen() ? writeDescriptorWithin(impl_->master.get(), buffer, count, &done, limit) : EBADF;
    if (bytesWritten) *bytesWritten = done;
    return impl_->writeError == 0;
}

const char* PseudoTerminalPort::errorText() {
    storeErrorText(errorText_, systemErrorText(cLibraryError(impl_->lastError)));
    return errorText_;
}

const char* PseudoTerminalPort::writeErrorText() {
    storeErrorText(writeErrorText_, systemErrorText(cLibraryError(impl_->writeError)));
    return writeErrorText_;
}

// The program's tcsetattr wakes nothing here, so each wait looks at the settings first (one
// system call); a change ends the wait at once, for the caller to take.
WaitablePort::WaitStart PseudoTerminalPort::startWait() {
    if (!isOpen()) {
        impl_->lastError = EBADF;
        return {PortInput::Failed, -1};
    }
    impl_->lookAtSettings();
    if (!impl_->settingsChanges.empty()) return {PortInput::Ready, -1};
    return {PortInput::None, impl_->master.get()};
}

std::vector<LineEvent> PseudoTerminalPort::takeLineEvents() {
    impl_->lookAtSettings();
    return std::exchange(impl_->settingsChanges, {});
}

PortInput PseudoTerminalPort::finishWait(std::uint32_t events) {
    if (events & POLLIN) return PortInput::Ready;
    if (events & (POLLHUP | POLLERR | POLLNVAL)) {
        impl_->lastError = (events & POLLNVAL) ? EBADF : EIO;
        return PortInput::Failed;
    }
    return PortInput::None;
}
