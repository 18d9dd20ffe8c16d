#pragma once

#include <cstdint>
#include <string>

#include "engine/SystemError.h"

// What went wrong, on what, and why, as the layers below the front ends return it; each front
// end words every kind once, in its own voice.
struct Failure {
    enum class Kind : std::uint8_t {
        None,
        OpenInput,     // a file to read would not open
        ReadInput,     // reading it failed part-way
        CreateOutput,  // a file to write could not be made
        WriteOutput,   // writing it, or putting it in place, failed
        OpenPort,      // the serial port would not open
        PortTimeouts,  // the port refused a run's timeouts
        PortLost,      // the port failed during a run (the device went away)
    };
    static constexpr Kind kLastKind = Kind::PortLost;

    Kind kind = Kind::None;
    std::string subject;  // the file's path or the port's name, as the user gave it
    SystemError error;
    // The reason in words where it is not a system error number (a port's line errors, a
    // setting the port refused); preferred to error's words when set.
    std::string detail;
    // After a failed C library call on Windows the system keeps its own number for it as well,
    // which some of the window's boxes have always shown. The same as error elsewhere.
    SystemError systemError;

    bool happened() const { return kind != Kind::None; }
    std::string reason() const { return detail.empty() ? systemErrorText(error) : detail; }
};

inline Failure fileFailure(Failure::Kind kind, std::string path, SystemError error) {
    return {kind, std::move(path), error, {}, error};
}
// A file that a C library call failed to open, with both numbers, taken straight after the call.
inline Failure openFailure(Failure::Kind kind, std::string path) {
    const SystemError error = lastCLibraryError();
    Failure failure = fileFailure(kind, std::move(path), error);
    failure.systemError = lastSystemError();
    return failure;
}
inline Failure portFailure(Failure::Kind kind, std::string port, std::string reason) {
    return {kind, std::move(port), {}, std::move(reason), {}};
}
