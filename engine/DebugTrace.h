#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/TraceSink.h"

// Verbosity-filtered diagnostic text. Every message of the program uses level 4 and carries its
// own "\r\n" where one is wanted; a message is passed on when its level <= verbosity.
class DebugTrace {
public:
    static constexpr std::uint32_t kDefaultVerbosity = 4;
    static constexpr std::uint32_t kLevel = 4;

    explicit DebugTrace(TraceSink& sink, std::uint32_t verbosity = kDefaultVerbosity)
        : sink_(sink), verbosity_(verbosity) {}

    bool enabled(std::uint32_t level) const { return level <= verbosity_; }

    void trace(std::uint32_t level, const char* text);

    // printf-style; formats nothing when the level is filtered out.
    void tracef(std::uint32_t level, const char* format, ...)
        __attribute__((format(gnu_printf, 3, 4)));

    // prefix + " {" + bytes as "%02X" separated by "," + "}", no line end.
    void traceHex(std::uint32_t level, const char* prefix, const std::uint8_t* bytes,
                  std::size_t count);

private:
    TraceSink& sink_;
    std::uint32_t verbosity_;
};
