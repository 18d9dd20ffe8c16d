#pragma once

#include <windows.h>

#include <utility>

// Owners of Windows handles, each with its own closed value.

// A file or device handle: closed is INVALID_HANDLE_VALUE (not NULL).
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

    // Keeps the caller's last error: a failed open is described after this handle is gone.
    void reset() {
        if (!valid()) return;
        DWORD lastError = GetLastError();
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        SetLastError(lastError);
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// An event: closed is NULL. Made manual-reset, as overlapped I/O wants it.
class EventHandle {
public:
    EventHandle() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~EventHandle() {
        if (handle_) CloseHandle(handle_);
    }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};
