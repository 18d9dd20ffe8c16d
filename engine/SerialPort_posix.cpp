#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "engine/CommErrorText.h"
#include "engine/SerialLineFormat_posix.h"
#include "engine/SerialPort.h"
#include "engine/SerialPortSpeed.h"
#include "engine/SerialTimeoutPlan.h"
#include "engine/SystemError.h"

namespace {

// Owns a port's descriptor; also drops the exclusive-use flag, which would otherwise outlive the
// descriptor on some terminals and lock other users out.
class PortFd {
public:
    PortFd() = default;
    explicit PortFd(int fd) : fd_(fd) {}
    ~PortFd() { reset(); }
    PortFd(PortFd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), exclusive_(std::exchange(other.exclusive_, false)) {}
    PortFd& operator=(PortFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
            exclusive_ = std::exchange(other.exclusive_, false);
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void markExclusive() { exclusive_ = true; }

    void reset() {
        if (fd_ < 0) return;
        if (exclusive_) ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
        exclusive_ = false;
    }

private:
    int fd_ = -1;
    bool exclusive_ = false;
};

struct StandardSpeed {
    std::int32_t bitsPerSecond;
    speed_t constant;
};

// Speeds with a termios constant; the ones beyond 38400 are not in every C library.
constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},           {75, B75},     {110, B110},   {134, B134},     {150, B150},
    {200, B200},         {300, B300},   {600, B600},   {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

const StandardSpeed* findStandardSpeed(std::int32_t bitsPerSecond) {
    for (const StandardSpeed& speed : kStandardSpeeds) {
        if (speed.bitsPerSecond == bitsPerSecond) return &speed;
    }
    return nullptr;
}

#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;  // no mark or space parity on this system
#endif

// Drivers round a number speed to what their clock divides to; more than 3 % off is another
// speed, not the one asked for.
bool closeEnough(std::uint32_t actual, std::uint32_t wanted) {
    std::uint64_t difference = actual > wanted ? actual - wanted : wanted - actual;
    return difference * 100 <= std::uint64_t{wanted} * 3;
}

}  // namespace

tcflag_t lineFormatMask() { return CSIZE | PARENB | PARODD | CSTOPB | kStickParity; }

bool lineFormatFlags(std::int32_t dataBits, Parity parity, StopBits stopBits, tcflag_t* result,
                     std::string* why) {
    tcflag_t flags = 0;
    switch (dataBits) {
        case 5:
            flags |= CS5;
            break;
        case 6:
            flags |= CS6;
            break;
        case 7:
            flags |= CS7;
            break;
        case 8:
            flags |= CS8;
            break;
        default:
            *why = "Data bits must be 5 to 8, not " + std::to_string(dataBits);
            return false;
    }
    switch (parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            flags |= PARENB | PARODD;
            break;
        case Parity::Even:
            flags |= PARENB;
            break;
        case Parity::Mark:
        case Parity::Space:
            if (kStickParity == 0) {
                *why = "Mark and space parity are not supported on this system";
                return false;
            }
            flags |= PARENB | kStickParity | (parity == Parity::Mark ? PARODD : 0);
            break;
        default:
            *why = "Parity must be 0 (none) to 4 (space), not " +
                   std::to_string(static_cast<std::int32_t>(parity));
            return false;
    }
    switch (stopBits) {
        case StopBits::One:
            break;
        case StopBits::Two:
            flags |= CSTOPB;
            break;
        case StopBits::OneAndAHalf:
            // A UART sends one and a half stop bits when asked for two with 5-bit characters.
            if (dataBits != 5) {
                *why = "One and a half stop bits need 5 data bits, not " + std::to_string(dataBits);
                return false;
            }
            flags |= CSTOPB;
            break;
        default:
            *why = "Stop bits must be 0 (one), 1 (one and a half) or 2 (two), not " +
                   std::to_string(static_cast<std::int32_t>(stopBits));
            return false;
    }
    *result = flags;
    return true;
}

struct SerialPort::Impl {
    PortFd fd;
    SerialTimeouts timeouts;
    int lastError = 0;
    std::string rejection;  // our own text for a setting we refused; empty for system errors

    bool fail(int error) {
        lastError = error;
        rejection.clear();
        return false;
    }
    bool reject(std::string why) {
        lastError = EINVAL;
        rejection = std::move(why);
        return false;
    }
    // Bytes already taken are handed over; the failure shows again on the next call.
    bool failAfter(std::uint32_t taken, int error) { return taken > 0 ? true : fail(error); }

    bool readSome(unsigned char* buffer, std::uint32_t count, std::uint32_t* taken);
    bool writeAll(const unsigned char* data, std::uint32_t count, std::uint32_t* done);
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { close(); }

std::string SerialPort::devicePath(const std::string& portName) {
    return portName.find('/') != std::string::npos ? portName : "/dev/" + portName;
}

bool SerialPort::open(const std::string& path, std::int32_t speed, std::int32_t dataBits,
                      Parity parity, StopBits stopBits) {
    close();
    PortFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return impl_->fail(errno);
    // TIOCEXCL does not stop root, flock does not stop programs that ignore it: take both.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return impl_->fail(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (ioctl(fd.get(), TIOCEXCL) != 0) return impl_->fail(errno);
    fd.markExclusive();

    termios settings{};
    if (tcgetattr(fd.get(), &settings) != 0) return impl_->fail(errno);
    // Bytes pass untouched, as through a Windows port; hardware handshake stays as it was.
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // With one byte as the minimum a non-blocking read says EAGAIN when there is nothing, so a
    // read of 0 can only mean the line has hung up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    std::string why;
    tcflag_t format = 0;
    if (!lineFormatFlags(dataBits, parity, stopBits, &format, &why)) return impl_->reject(why);
    settings.c_cflag = (settings.c_cflag & ~lineFormatMask()) | format;
    if (speed <= 0) {
        return impl_->reject("Speed must be above 0 bits per second, not " + std::to_string(speed));
    }
    const StandardSpeed* standard = findStandardSpeed(speed);
    if (standard && (cfsetispeed(&settings, standard->constant) != 0 ||
                     cfsetospeed(&settings, standard->constant) != 0)) {
        return impl_->fail(errno);
    }
    if (tcsetattr(fd.get(), TCSANOW, &settings) != 0) return impl_->fail(errno);

    // tcsetattr succeeds when any part was taken, so check the speed. The character format is
    // not checked: pseudo-terminals always report 8 bits without parity, whatever was asked.
    termios applied{};
    if (tcgetattr(fd.get(), &applied) != 0) return impl_->fail(errno);
    const std::string unsupportedSpeed =
        "The port does not support " + std::to_string(speed) + " bits per second";
    if (standard && cfgetospeed(&applied) != standard->constant) {
        return impl_->reject(unsupportedSpeed);
    }
    if (!standard) {
        std::uint32_t actual = 0;
        int error = setLineSpeedNumber(fd.get(), static_cast<std::uint32_t>(speed));
        if (error == 0) error = readLineSpeed(fd.get(), &actual);
        if (error != 0) return impl_->fail(error);
        if (!closeEnough(actual, static_cast<std::uint32_t>(speed))) {
            return impl_->reject(unsupportedSpeed);
        }
    }

    impl_->fd = std::move(fd);
    impl_->timeouts = SerialTimeouts{};
    return true;
}

void SerialPort::close() { impl_->fd.reset(); }

bool SerialPort::isOpen() const { return impl_->fd.valid(); }

std::intptr_t SerialPort::systemHandle() const { return impl_->fd.get(); }

bool SerialPort::read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (!isOpen()) return impl_->fail(EBADF);
    std::uint32_t taken = 0;
    bool ok = impl_->readSome(static_cast<unsigned char*>(buffer), count, &taken);
    if (bytesRead) *bytesRead = taken;
    return ok;
}

// COMMTIMEOUTS semantics over a non-blocking descriptor: poll() against deadlines on the
// monotonic clock rather than VMIN/VTIME, which cannot express a total timeout.
bool SerialPort::Impl::readSome(unsigned char* buffer, std::uint32_t count, std::uint32_t* taken) {
    const SerialReadPlan plan = planSerialRead(timeouts, count);
    const auto totalDeadline = deadlineAfter(SerialClock::now(), plan.totalMs);
    std::optional<SerialClock::time_point> intervalDeadline;
    bool hungUp = false;
    while (*taken < count) {
        ssize_t n = ::read(fd.get(), buffer + *taken, count - *taken);
        if (n > 0) {
            *taken += static_cast<std::uint32_t>(n);
            if (plan.returnOnFirstBytes) break;
            if (plan.intervalMs) {
                intervalDeadline = deadlineAfter(SerialClock::now(), *plan.intervalMs);
            }
            continue;
        }
        // Without this a recording would spin on empty reads after the device has gone.
        if (n == 0) return failAfter(*taken, EIO);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return failAfter(*taken, errno);
        if (hungUp) return failAfter(*taken, EIO);
        if (plan.returnAtOnce) break;

        int wait = pollTimeoutMs(SerialClock::now(), totalDeadline, intervalDeadline);
        if (wait == 0) break;
        pollfd watch{fd.get(), POLLIN, 0};
        int ready = ::poll(&watch, 1, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return failAfter(*taken, errno);
        }
        if (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) hungUp = true;
    }
    return true;
}

bool SerialPort::write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) {
    if (!isOpen()) return impl_->fail(EBADF);
    std::uint32_t done = 0;
    bool ok = impl_->writeAll(static_cast<const unsigned char*>(buffer), count, &done);
    if (bytesWritten) *bytesWritten = done;
    return ok;
}

// Like WriteFile on a port: all bytes, or as many as fit before a write timeout, which (as on
// Windows) still counts as success with a short count.
bool SerialPort::Impl::writeAll(const unsigned char* data, std::uint32_t count,
                                std::uint32_t* done) {
    const auto deadline = deadlineAfter(SerialClock::now(), serialWriteLimitMs(timeouts, count));
    while (*done < count) {
        ssize_t n = ::write(fd.get(), data + *done, count - *done);
        if (n > 0) {
            *done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return fail(errno);

        int wait = pollTimeoutMs(SerialClock::now(), deadline, std::nullopt);
        if (wait == 0) return true;
        pollfd watch{fd.get(), POLLOUT, 0};
        int ready = ::poll(&watch, 1, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) return fail(EIO);
    }
    return true;
}

bool SerialPort::setTimeouts(const SerialTimeouts* timeouts) {
    if (!isOpen()) return impl_->fail(EBADF);
    if (!timeouts) return impl_->fail(EINVAL);
    impl_->timeouts = *timeouts;
    return true;
}

bool SerialPort::getTimeouts(SerialTimeouts* timeouts) {
    if (!isOpen()) return impl_->fail(EBADF);
    if (!timeouts) return impl_->fail(EINVAL);
    *timeouts = impl_->timeouts;
    return true;
}

bool SerialPort::discardOutput() {
    if (!isOpen()) return impl_->fail(EBADF);
    if (tcflush(impl_->fd.get(), TCOFLUSH) != 0) return impl_->fail(errno);
    return true;
}

const char* SerialPort::errorText() {
    if (!impl_->rejection.empty()) {
        storeErrorText(errorText_, impl_->rejection);
    } else {
        storeErrorText(errorText_, systemErrorText(cLibraryError(impl_->lastError)));
    }
    return errorText_;
}
