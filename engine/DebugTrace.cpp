#include "engine/DebugTrace.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

void DebugTrace::trace(std::uint32_t level, const char* text) {
    if (enabled(level)) sink_.write(text);
}

void DebugTrace::tracef(std::uint32_t level, const char* format, ...) {
    if (!enabled(level)) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        va_end(copy);
        sink_.write(small);
        return;
    }
    // Long texts (a path in a trace line) are never cut.
    std::vector<char> large(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, copy);
    va_end(copy);
    sink_.write(large.data());
}

void DebugTrace::traceHex(std::uint32_t level, const char* prefix, const std::uint8_t* bytes,
                          std::size_t count) {
    if (!enabled(level)) return;
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(prefix);
    text.reserve(text.size() + 3 + count * 3);
    text += " {";
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ',';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    text += '}';
    sink_.write(text.c_str());
}
