#include <windows.h>

#include <algorithm>

#include "engine/CommErrorText.h"
#include "engine/CommLineSettings_win.h"
#include "engine/SystemError.h"
#include "engine/WaitableSerialPort.h"
#include "engine/WinHandles_win.h"

// Overlapped I/O: the wait is a pending read of one byte, whose event WaitForMultipleObjects
// watches with the other ports'. Once it has its byte, the bytes queued behind it are read by
// their count (ClearCommError), which a read can take at once. Timeouts stay zero throughout,
// so no read ends early and none depends on how a driver treats the others (Wine keeps a read
// with a total timeout waiting even when bytes are there).
struct WaitableSerialPort::Impl {
    FileHandle handle;
    EventHandle waitEvent;
    EventHandle transferEvent;
    // The write side has its own event and error: another thread may write while one reads.
    EventHandle writeEvent;
    DWORD writeError = 0;
    OVERLAPPED waitRead{};
    unsigned char firstByte = 0;
    bool readPending = false;
    bool haveFirstByte = false;
    bool failed = false;  // a failed port stays failed, so that no wait calls it ready again
    DWORD lastError = 0;

    bool fail(DWORD error) {
        lastError = error;
        failed = true;
        return false;
    }
    PortInput failState(DWORD error) {
        fail(error);
        return PortInput::Failed;
    }
    PortInput collectWaitingRead();
    bool readQueued(void* buffer, std::uint32_t count, std::uint32_t* moved);
    DWORD writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* moved,
                      std::chrono::milliseconds limit);
    void cancelWaitingRead();
};

// A read that ends with no byte under zero timeouts means the port has gone: some drivers, and
// Wine over a hung-up terminal, end reads that way instead of with an error. Its state then
// fails with the reason; a port that still answers is called disconnected all the same, as
// waiting again would end the same way at once.
PortInput WaitableSerialPort::Impl::collectWaitingRead() {
    if (!readPending) return haveFirstByte ? PortInput::Ready : PortInput::None;
    DWORD moved = 0;
    if (!GetOverlappedResult(handle.get(), &waitRead, &moved, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return PortInput::None;
        readPending = false;
        return failState(error);
    }
    readPending = false;
    if (moved == 1) {
        haveFirstByte = true;
        return PortInput::Ready;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle.get(), &dcb)) return failState(GetLastError());
    return failState(ERROR_DEVICE_NOT_CONNECTED);
}

bool WaitableSerialPort::Impl::readQueued(void* buffer, std::uint32_t count, std::uint32_t* moved) {
    OVERLAPPED request{};
    request.hEvent = transferEvent.get();
    ResetEvent(request.hEvent);
    if (!ReadFile(handle.get(), buffer, count, nullptr, &request) &&
        GetLastError() != ERROR_IO_PENDING) {
        return fail(GetLastError());
    }
    DWORD done = 0;
    const BOOL ok = GetOverlappedResult(handle.get(), &request, &done, TRUE);
    *moved = done;
    return ok ? true : fail(GetLastError());
}

// A write still going when the limit passes is cancelled: what it moved by then counts.
DWORD WaitableSerialPort::Impl::writeWithin(const void* buffer, std::uint32_t count,
                                            std::uint32_t* moved, std::chrono::milliseconds limit) {
    OVERLAPPED request{};
    request.hEvent = writeEvent.get();
    ResetEvent(request.hEvent);
    if (!WriteFile(handle.get(), buffer, count, nullptr, &request) &&
        GetLastError() != ERROR_IO_PENDING) {
        return GetLastError();
    }
    const DWORD wait = limit.count() < 0 ? INFINITE : static_cast<DWORD>(limit.count());
    if (WaitForSingleObject(request.hEvent, wait) == WAIT_TIMEOUT) {
        CancelIoEx(handle.get(), &request);
    }
    DWORD done = 0;
    const BOOL ok = GetOverlappedResult(handle.get(), &request, &done, TRUE);
    *moved = done;
    if (ok) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_OPERATION_ABORTED ? 0 : error;
}

// The pending read writes into this object: it must be over before the port or buffer goes.
void WaitableSerialPort::Impl::cancelWaitingRead() {
    if (!readPending) return;
    CancelIoEx(handle.get(), &waitRead);
    DWORD ignored = 0;
    GetOverlappedResult(handle.get(), &waitRead, &ignored, TRUE);
    readPending = false;
}

WaitableSerialPort::WaitableSerialPort() : impl_(std::make_unique<Impl>()) {}

WaitableSerialPort::~WaitableSerialPort() { close(); }

bool WaitableSerialPort::open(const std::string& path, std::int32_t speed, std::int32_t dataBits,
                              Parity parity, StopBits stopBits) {
    close();
    if (!impl_->waitEvent.valid() || !impl_->transferEvent.valid() || !impl_->writeEvent.valid()) {
        impl_->lastError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    COMMTIMEOUTS none{};
    if (!handle.valid() ||
        !applyCommLineSettings(handle.get(), speed, dataBits, parity, stopBits) ||
        !SetCommTimeouts(handle.get(), &none)) {
        impl_->lastError = GetLastError();
        return false;
    }
    impl_->handle = std::move(handle);
    impl_->failed = false;
    return true;
}

void WaitableSerialPort::close() {
    impl_->cancelWaitingRead();
    impl_->handle.reset();
    impl_->haveFirstByte = false;
    impl_->failed = false;
}

bool WaitableSerialPort::isOpen() const { return impl_->handle.valid(); }

void WaitableSerialPort::discardOutput() {
    if (isOpen()) PurgeComm(impl_->handle.get(), PURGE_TXABORT | PURGE_TXCLEAR);
}

bool WaitableSerialPort::readAvailable(void* buffer, std::uint32_t count,
                                       std::uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!isOpen()) return impl_->fail(ERROR_INVALID_HANDLE);
    if (impl_->failed) return false;
    if (impl_->collectWaitingRead() == PortInput::Failed) return false;
    // A read still pending has found nothing, so nothing is queued behind it either.
    if (impl_->readPending || count == 0) return true;

    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint32_t got = 0;
    if (impl_->haveFirstByte) {
        bytes[got++] = impl_->firstByte;
        impl_->haveFirstByte = false;
    }
    // The byte already taken is handed over; a failure shows on the next call.
    DWORD lineErrors = 0;
    COMSTAT status{};
    if (!ClearCommError(impl_->handle.get(), &lineErrors, &status)) {
        if (got == 0) return impl_->fail(GetLastError());
        status.cbInQue = 0;
    }
    const std::uint32_t queued = std::min<std::uint32_t>(status.cbInQue, count - got);
    std::uint32_t moved = 0;
    if (queued > 0 && !impl_->readQueued(bytes + got, queued, &moved) && got == 0) {
        return false;
    }
    if (bytesRead) *bytesRead = got + moved;
    return true;
}

bool WaitableSerialPort::writeWithin(const void* buffer, std::uint32_t count,
                                     std::uint32_t* bytesWritten, std::chrono::milliseconds limit) {
    std::uint32_t moved = 0;
    impl_->writeError =
        isOpen() ? impl_->writeWithin(buffer, count, &moved, limit) : ERROR_INVALID_HANDLE;
    if (bytesWritten) *bytesWritten = moved;
    return impl_->writeError == 0;
}

const char* WaitableSerialPort::errorText() {
    storeErrorText(errorText_, systemErrorText({SystemError::Numbering::System,
                                                static_cast<int>(impl_->lastError)}));
    return errorText_;
}

const char* WaitableSerialPort::writeErrorText() {
    storeErrorText(writeErrorText_, systemErrorText({SystemError::Numbering::System,
                                                     static_cast<int>(impl_->writeError)}));
    return writeErrorText_;
}

WaitablePort::WaitStart WaitableSerialPort::startWait() {
    if (!isOpen()) {
        impl_->lastError = ERROR_INVALID_HANDLE;
        return {PortInput::Failed, 0};
    }
    if (impl_->failed) return {PortInput::Failed, 0};
    if (impl_->haveFirstByte) return {PortInput::Ready, 0};
    if (!impl_->readPending) {
        impl_->waitRead = OVERLAPPED{};
        impl_->waitRead.hEvent = impl_->waitEvent.get();
        ResetEvent(impl_->waitRead.hEvent);
        // Done at once or pending, the event tells the wait.
        if (!ReadFile(impl_->handle.get(), &impl_->firstByte, 1, nullptr, &impl_->waitRead) &&
            GetLastError() != ERROR_IO_PENDING) {
            return {impl_->failState(GetLastError()), 0};
        }
        impl_->readPending = true;
    }
    return {PortInput::None, reinterpret_cast<std::intptr_t>(impl_->waitEvent.get())};
}

PortInput WaitableSerialPort::finishWait(std::uint32_t events) {
    return events ? impl_->collectWaitingRead() : PortInput::None;
}
