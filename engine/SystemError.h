#pragma once

#include <cstdint>
#include <string>

// An error number with the numbering it belongs to. The C library's errno and, on Windows, the
// system's own last-error codes number the same causes differently, so a number never travels
// without saying which it is. Taken where the failure happened: files closed or removed since
// then do not change the reason given.
struct SystemError {
    enum class Numbering : std::uint8_t {
        CLibrary,  // errno
        System,    // GetLastError on Windows; errno elsewhere
    };
    Numbering numbering = Numbering::CLibrary;
    int number = 0;

    bool isSet() const { return number != 0; }
    friend bool operator==(const SystemError&, const SystemError&) = default;
};

inline SystemError cLibraryError(int number) { return {SystemError::Numbering::CLibrary, number}; }
// errno as it is now.
SystemError lastCLibraryError();
// The calling thread's last system error as it is now. Platform file.
SystemError lastSystemError();
// The system's words for a number of its own numbering exactly as it gives them (line end
// included), empty when it has none. Platform file.
std::string systemNumberingText(int number);

// The system's words for the error, without a line end; empty for no error. Every message, log
// line and box that gives a system's reason takes it from here.
std::string systemErrorText(const SystemError& error);
