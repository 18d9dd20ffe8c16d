#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "engine/CommErrorText.h"
#include "engine/DescriptorWrite_posix.h"
#include "engine/SerialErrorCounts.h"
#include "engine/SerialPort.h"
#include "engine/SystemError.h"
#include "engine/WaitableSerialPort.h"

// A SerialPort whose reads return at once, watched through its descriptor.
struct WaitableSerialPort::Impl {
    SerialPort port;
    int waitError = 0;    // why the last wait found the port failed; 0 once another call ran
    bool failed = false;  // a failed port stays failed, so that no wait calls it ready again
    // Writes go straight to the descriptor, apart from the SerialPort's state that the reads
    // keep, so that another thread may write while one reads.
    int writeError = 0;
    // What the line did, looked at at each wait: the modem lines and the driver's counts of
    // breaks and errors. Ports without them (a pseudo-terminal) show nothing.
    std::optional<std::uint8_t> modemLines;
    std::optional<SerialErrorCounts> errorCounts;
    bool noModemLines = false;
    bool noErrorCounts = false;
    std::vector<LineEvent> lineEvents;

    int fd() const { return static_cast<int>(port.systemHandle()); }
    void note(LineEvent event) {
        if (lineEvents.size() < kLineEventsHeld) lineEvents.push_back(event);
    }
    void lookAtLine();
    static constexpr std::size_t kLineEventsHeld = 256;
};

namespace {

std::uint8_t controlLinesOf(int modemBits) {
    std::uint8_t lines = 0;
    if (modemBits & TIOCM_CTS) lines |= control_line::kCts;
    if (modemBits & TIOCM_DSR) lines |= control_line::kDsr;
    if (modemBits & TIOCM_CAR) lines |= control_line::kDcd;
    if (modemBits & TIOCM_RNG) lines |= control_line::kRing;
    if (modemBits & TIOCM_DTR) lines |= control_line::kDtr;
    if (modemBits & TIOCM_RTS) lines |= control_line::kRts;
    return lines;
}

}  // namespace

// A break shows only as a count, so it is told as its start and end at once; errors by their
// count too, without the byte they spoiled.
void WaitableSerialPort::Impl::lookAtLine() {
    // A port without them (a pseudo-terminal) fails the first time: it is not asked again.
    int bits = 0;
    if (!noModemLines && ioctl(fd(), TIOCMGET, &bits) == 0) {
        const std::uint8_t now = controlLinesOf(bits);
        if (!modemLines || *modemLines != now) note({LineEventKind::ControlLines, now});
        modemLines = now;
    } else {
        noModemLines = true;
    }
    SerialErrorCounts counts;
    if (noErrorCounts || readSerialErrorCounts(fd(), &counts) != 0) {
        noErrorCounts = true;
        return;
    }
    if (errorCounts) {
        if (counts.breaks != errorCounts->breaks) {
            note({LineEventKind::BreakStart, modemLines.value_or(0)});
            note({LineEventKind::BreakEnd, modemLines.value_or(0)});
        }
        if (counts.framing != errorCounts->framing)
            note({LineEventKind::FramingError, modemLines.value_or(0)});
        if (counts.parity != errorCounts->parity)
            note({LineEventKind::ParityError, modemLines.value_or(0)});
    }
    errorCounts = counts;
}

WaitableSerialPort::WaitableSerialPort() : impl_(std::make_unique<Impl>()) {}

WaitableSerialPort::~WaitableSerialPort() = default;

bool WaitableSerialPort::open(const std::string& path, std::int32_t speed, std::int32_t dataBits,
                              Parity parity, StopBits stopBits) {
    impl_->waitError = 0;
    impl_->failed = false;
    impl_->modemLines.reset();
    impl_->errorCounts.reset();
    impl_->noModemLines = impl_->noErrorCounts = false;
    impl_->lineEvents.clear();
    if (!impl_->port.open(path, speed, dataBits, parity, stopBits)) return false;
    // MAXDWORD interval alone: a read takes what is there. No write limit: writes wait for room.
    const SerialTimeouts takeWhatIsThere{kSerialTimeoutMax, 0, 0, 0, 0};
    if (!impl_->port.setTimeouts(&takeWhatIsThere)) {
        impl_->port.close();
        return false;
    }
    return true;
}

void WaitableSerialPort::close() { impl_->port.close(); }

bool WaitableSerialPort::isOpen() const { return impl_->port.isOpen(); }

bool WaitableSerialPort::readAvailable(void* buffer, std::uint32_t count,
                                       std::uint32_t* bytesRead) {
    impl_->waitError = 0;
    if (bytesRead) *bytesRead = 0;
    if (impl_->port.read(buffer, count, bytesRead)) return true;
    impl_->failed = true;
    return false;
}

bool WaitableSerialPort::writeWithin(const void* buffer, std::uint32_t count,
                                     std::uint32_t* bytesWritten, std::chrono::milliseconds limit) {
    std::uint32_t done = 0;
    impl_->writeError = isOpen()
                            ? writeDescriptorWithin(static_cast<int>(impl_->port.systemHandle()),
                                                    buffer, count, &done, limit)
                            : EBADF;
    if (bytesWritten) *bytesWritten = done;
    return impl_->writeError == 0;
}

// Straight to the descriptor, as the writes go, leaving the reads' state alone.
void WaitableSerialPort::discardOutput() {
    if (isOpen()) tcflush(static_cast<int>(impl_->port.systemHandle()), TCOFLUSH);
}

std::vector<LineEvent> WaitableSerialPort::takeLineEvents() {
    if (isOpen()) impl_->lookAtLine();
    return std::exchange(impl_->lineEvents, {});
}

// The host's lines and a break, as the program under test set them, for the device.
bool WaitableSerialPort::tellLineEvent(const LineEvent& event) {
    if (!isOpen()) return false;
    const int fd = impl_->fd();
    switch (event.kind) {
        case LineEventKind::ControlLines: {
            const int on = (event.controlLines & control_line::kDtr ? TIOCM_DTR : 0) |
                           (event.controlLines & control_line::kRts ? TIOCM_RTS : 0);
            const int off = (TIOCM_DTR | TIOCM_RTS) & ~on;
            return (on == 0 || ioctl(fd, TIOCMBIS, &on) == 0) &&
                   (off == 0 || ioctl(fd, TIOCMBIC, &off) == 0);
        }
        case LineEventKind::BreakStart:
            return ioctl(fd, TIOCSBRK) == 0;
        case LineEventKind::BreakEnd:
            return ioctl(fd, TIOCCBRK) == 0;
        default:
            return false;  // settings stay as opened; errors are the line's own
    }
}

const char* WaitableSerialPort::errorText() {
    if (impl_->waitError == 0) return impl_->port.errorText();
    storeErrorText(errorText_, systemErrorText(cLibraryError(impl_->waitError)));
    return errorText_;
}

const char* WaitableSerialPort::writeErrorText() {
    storeErrorText(writeErrorText_, systemErrorText(cLibraryError(impl_->writeError)));
    return writeErrorText_;
}

WaitablePort::WaitStart WaitableSerialPort::startWait() {
    if (!isOpen()) {
        impl_->waitError = EBADF;
        return {PortInput::Failed, -1};
    }
    if (impl_->failed) return {PortInput::Failed, -1};
    impl_->lookAtLine();
    if (!impl_->lineEvents.empty()) return {PortInput::Ready, -1};
    return {PortInput::None, impl_->port.systemHandle()};
}

// Bytes come first: a hung-up port with bytes still queued hands them over before it fails.
// A hung-up terminal also reports POLLIN with nothing to read, which would make every wait end
// at once with a read that fails: the count queued tells the two apart.
PortInput WaitableSerialPort::finishWait(std::uint32_t events) {
    if ((events & POLLIN) && !(events & (POLLHUP | POLLERR))) return PortInput::Ready;
    int queued = 0;
    const int fd = static_cast<int>(impl_->port.systemHandle());
    if ((events & POLLIN) && ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) {
        return PortInput::Ready;
    }
    if (events & (POLLNVAL | POLLHUP | POLLERR)) {
        impl_->waitError = (events & POLLNVAL) ? EBADF : EIO;
        impl_->failed = true;
        return PortInput::Failed;
    }
    return PortInput::None;
}
