#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "engine/CommErrorText.h"
#include "engine/DescriptorWrite_posix.h"
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
};

WaitableSerialPort::WaitableSerialPort() : impl_(std::make_unique<Impl>()) {}

WaitableSerialPort::~WaitableSerialPort() = default;

bool WaitableSerialPort::open(const std::string& path, std::int32_t speed, std::int32_t dataBits,
                              Parity parity, StopBits stopBits) {
    impl_->waitError = 0;
    impl_->failed = false;
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
