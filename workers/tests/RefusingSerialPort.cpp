// Stands in for the serial port at link time in the refused-timeouts tests: it opens, reads
// nothing and takes every write, but its driver refuses timeouts, which no real port here does.
#include "workers/tests/RefusingSerialPort.h"

#include <chrono>
#include <thread>

#include "engine/CommErrorText.h"
#include "engine/SerialPort.h"

struct SerialPort::Impl {
    bool open = false;
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() = default;

std::string SerialPort::devicePath(const std::string& portName) { return portName; }

bool SerialPort::open(const std::string&, std::int32_t, std::int32_t, Parity, StopBits) {
    impl_->open = true;
    return true;
}

void SerialPort::close() { impl_->open = false; }

bool SerialPort::isOpen() const { return impl_->open; }

std::intptr_t SerialPort::systemHandle() const { return -1; }

// As slow as a port with its read timeout, so that a worker that went on would run until stopped.
bool SerialPort::read(void*, std::uint32_t, std::uint32_t* bytesRead) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (bytesRead) *bytesRead = 0;
    return impl_->open;
}

bool SerialPort::write(const void*, std::uint32_t count, std::uint32_t* bytesWritten) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (bytesWritten) *bytesWritten = count;
    return impl_->open;
}

bool SerialPort::setTimeouts(const SerialTimeouts*) { return false; }

bool SerialPort::getTimeouts(SerialTimeouts* timeouts) {
    if (!impl_->open || !timeouts) return false;
    *timeouts = SerialTimeouts{};
    return true;
}

bool SerialPort::discardOutput() { return impl_->open; }

const char* SerialPort::errorText() {
    storeErrorText(errorText_, std::string(kRefusedTimeoutsText) + "\r\n");
    return errorText_;
}
