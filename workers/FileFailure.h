#pragma once

#include <cstdint>
#include <string>

// Why a run ended early because of its file: which way the file failed, and the reason. A write
// reason is the system's (WriteFailure.h); a read reason is the C library's errno, which the
// serial file reader keeps.
struct FileFailure {
    enum class Kind : std::uint8_t { None, Write, Read };
    Kind kind = Kind::None;
    int reason = 0;
};

// The reason in the system's words.
std::string fileFailureText(const FileFailure& failure);
