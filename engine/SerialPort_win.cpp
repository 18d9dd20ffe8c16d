#include <windows.h>

#include "engine/CommErrorText.h"
#include "engine/CommLineSettings_win.h"
#include "engine/SerialPort.h"
#include "engine/SystemError.h"
#include "engine/WinHandles_win.h"

struct SerialPort::Impl {
    FileHandle handle;
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { close(); }

std::string SerialPort::devicePath(const std::string& portName) { return "\\\\.\\" + portName; }

bool SerialPort::open(const std::string& path, std::int32_t speed, std::int32_t dataBits,
                      Parity parity, StopBits stopBits) {
    close();
    FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!handle.valid()) return false;

    if (!applyCommLineSettings(handle.get(), speed, dataBits, parity, stopBits)) return false;

    impl_->handle = std::move(handle);
    return true;
}

void SerialPort::close() { impl_->handle.reset(); }

bool SerialPort::isOpen() const { return impl_->handle.valid(); }

std::intptr_t SerialPort::systemHandle() const {
    return reinterpret_cast<std::intptr_t>(impl_->handle.get());
}

bool SerialPort::read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);  // so errorText does not describe an older failure
        return false;
    }
    // ReadFile needs somewhere to put the count when there is no OVERLAPPED record.
    DWORD transferred = 0;
    BOOL ok = ReadFile(impl_->handle.get(), buffer, count, &transferred, nullptr);
    if (bytesRead) *bytesRead = transferred;
    // Some drivers, and Wine over a hung-up terminal, answer every read of a port that has gone
    // with no bytes instead of an error: a recording would go on for good. A port that is still
    // there tells its state; one that has gone fails, with the reason as the last error.
    if (ok && transferred == 0 && count > 0) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(impl_->handle.get(), &dcb)) return false;
    }
    return ok != FALSE;
}

bool SerialPort::write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) {
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD transferred = 0;
    BOOL ok = WriteFile(impl_->handle.get(), buffer, count, &transferred, nullptr);
    if (bytesWritten) *bytesWritten = transferred;
    return ok != FALSE;
}

bool SerialPort::setTimeouts(const SerialTimeouts* timeouts) {
    if (!isOpen() || !timeouts) return false;
    COMMTIMEOUTS record{};
    record.ReadIntervalTimeout = timeouts->readIntervalTimeout;
    record.ReadTotalTimeoutMultiplier = timeouts->readTotalTimeoutMultiplier;
    record.ReadTotalTimeoutConstant = timeouts->readTotalTimeoutConstant;
    record.WriteTotalTimeoutMultiplier = timeouts->writeTotalTimeoutMultiplier;
    record.WriteTotalTimeoutConstant = timeouts->writeTotalTimeoutConstant;
    return SetCommTimeouts(impl_->handle.get(), &record) != FALSE;
}

bool SerialPort::getTimeouts(SerialTimeouts* timeouts) {
    if (!isOpen() || !timeouts) return false;
    COMMTIMEOUTS record{};
    if (!GetCommTimeouts(impl_->handle.get(), &record)) return false;
    timeouts->readIntervalTimeout = record.ReadIntervalTimeout;
    timeouts->readTotalTimeoutMultiplier = record.ReadTotalTimeoutMultiplier;
    timeouts->readTotalTimeoutConstant = record.ReadTotalTimeoutConstant;
    timeouts->writeTotalTimeoutMultiplier = record.WriteTotalTimeoutMultiplier;
    timeouts->writeTotalTimeoutConstant = record.WriteTotalTimeoutConstant;
    return true;
}

bool SerialPort::discardOutput() {
    if (!isOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // TXABORT ends a write that another thread may have pending; TXCLEAR empties the queue.
    return PurgeComm(impl_->handle.get(), PURGE_TXABORT | PURGE_TXCLEAR) != FALSE;
}

const char* SerialPort::errorText() {
    // First, before ClearCommError can replace it.
    DWORD code = GetLastError();

    // Pending line errors say more about a failed read than the system's text does; asking
    // clears them, so a second call gives the system's text.
    DWORD lineErrors = 0;
    if (isOpen() && ClearCommError(impl_->handle.get(), &lineErrors, nullptr) && lineErrors != 0) {
        storeErrorText(errorText_, commMaskText(lineErrors));
        return errorText_;
    }

    storeErrorText(errorText_, systemNumberingText(static_cast<int>(code)));
    return errorText_;
}
