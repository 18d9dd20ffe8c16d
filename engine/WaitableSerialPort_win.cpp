#include <windows.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

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
// Under Wine each call that reaches its server is a round trip to another process, and on a busy
// machine each one may wait for its turn on a core: a byte's way takes no more of them than it
// needs. ReadFile and WriteFile reset the request's event themselves; the event's handle carries
// its low bit, so that a finished request queues nothing to a completion port (the port has none,
// but Wine still asks its server); a request done at once is not waited for.
namespace {

// The event for an OVERLAPPED whose completion goes to no completion port.
HANDLE withoutCompletion(const EventHandle& event) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event.get()) | 1);
}

}  // namespace

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
    // What the line did, looked at at each wait and read: the modem lines, and the breaks and
    // errors that ClearCommError reports (and clears).
    std::optional<std::uint8_t> modemLines;
    bool noModemLines = false;
    std::vector<LineEvent> lineEvents;
    void note(LineEvent event) {
        if (lineEvents.size() < kLineEventsHeld) lineEvents.push_back(event);
    }
    void lookAtModemLines();
    void noteLineErrors(DWORD lineErrors);
    static constexpr std::size_t kLineEventsHeld = 256;

    PortInput collectWaitingRead();
    bool readQueued(void* buffer, std::uint32_t count, std::uint32_t* moved);
    DWORD writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* moved,
                      std::chrono::milliseconds limit);
    void cancelWaitingRead();
};

void WaitableSerialPort::Impl::lookAtModemLines() {
    // A port without modem lines fails the first time: it is not asked again at every wait.
    if (noModemLines) return;
    DWORD status = 0;
    if (!GetCommModemStatus(handle.get(), &status)) {
        noModemLines = true;
        return;
    }
    std::uint8_t now = 0;
    if (status & MS_CTS_ON) now |= control_line::kCts;
    if (status & MS_DSR_ON) now |= control_line::kDsr;
    if (status & MS_RLSD_ON) now |= control_line::kDcd;
    if (status & MS_RING_ON) now |= control_line::kRing;
    if (!modemLines || *modemLines != now) note({LineEventKind::ControlLines, now});
    modemLines = now;
}

// A break shows only as having come, so it is told as its start and end at once; an error
// without the byte it spoiled.
void WaitableSerialPort::Impl::noteLineErrors(DWORD lineErrors) {
    const std::uint8_t lines = modemLines.value_or(0);
    if (lineErrors & CE_BREAK) {
        note({LineEventKind::BreakStart, lines});
        note({LineEventKind::BreakEnd, lines});
    }
    if (lineErrors & CE_FRAME) note({LineEventKind::FramingError, lines});
    if (lineErrors & CE_RXPARITY) note({LineEventKind::ParityError, lines});
}

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
    request.hEvent = withoutCompletion(transferEvent);
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
    request.hEvent = withoutCompletion(writeEvent);
    if (!WriteFile(handle.get(), buffer, count, nullptr, &request) &&
        GetLastError() != ERROR_IO_PENDING) {
        return GetLastError();
    }
    // Done at once is the common case; a write still going is waited for up to the limit (not at
    // all for a limit of zero) and then cancelled.
    if (!HasOverlappedIoCompleted(&request)) {
        const DWORD wait = limit.count() < 0 ? INFINITE : static_cast<DWORD>(limit.count());
        if (wait == 0 || WaitForSingleObject(writeEvent.get(), wait) == WAIT_TIMEOUT) {
            CancelIoEx(handle.get(), &request);
        }
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
    impl_->modemLines.reset();
    impl_->noModemLines = false;
    impl_->lineEvents.clear();
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
    impl_->noteLineErrors(lineErrors);
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

std::vector<LineEvent> WaitableSerialPort::takeLineEvents() {
    if (isOpen()) impl_->lookAtModemLines();
    return std::exchange(impl_->lineEvents, {});
}

// The host's lines and a break, as the program under test set them, for the device.
bool WaitableSerialPort::tellLineEvent(const LineEvent& event) {
    if (!isOpen()) return false;
    HANDLE port = impl_->handle.get();
    switch (event.kind) {
        case LineEventKind::ControlLines:
            return EscapeCommFunction(port,
                                      event.controlLines & control_line::kDtr ? SETDTR : CLRDTR) &&
                   EscapeCommFunction(port,
                                      event.controlLines & control_line::kRts ? SETRTS : CLRRTS);
        case LineEventKind::BreakStart:
            return EscapeCommFunction(port, SETBREAK) != FALSE;
        case LineEventKind::BreakEnd:
            return EscapeCommFunction(port, CLRBREAK) != FALSE;
        default:
            return false;  // settings stay as opened; errors are the line's own
    }
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
    impl_->lookAtModemLines();
    if (impl_->haveFirstByte || !impl_->lineEvents.empty()) return {PortInput::Ready, 0};
    if (!impl_->readPending) {
        impl_->waitRead = OVERLAPPED{};
        impl_->waitRead.hEvent = withoutCompletion(impl_->waitEvent);
        // Done at once or pending, the event tells the wait: ReadFile resets it first.
        if (!ReadFile(impl_->handle.get(), &impl_->firstByte, 1, nullptr, &impl_->waitRead) &&
            GetLastError() != ERROR_IO_PENDING) {
            return {impl_->failState(GetLastError()), 0};
        }
        impl_->readPending = true;
    }
    return {PortInput::None, reinterpret_cast<std::intptr_t>(impl_->waitEvent.get())};
}

// The pending read itself tells whether it has finished, without the system's wait: a port the
// wait did not name is looked at all the same, at no cost.
PortInput WaitableSerialPort::finishWait(std::uint32_t /*events*/) {
    return impl_->collectWaitingRead();
}
