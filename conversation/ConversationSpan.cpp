#include "conversation/ConversationSpan.h"

#include <algorithm>
#include <filesystem>

#include "conversation/ConversationReader.h"

std::optional<std::uint64_t> conversationSpanMicros(const std::string& path,
                                                    std::uint64_t scanLimitBytes) {
    ConversationReader reader;
    if (reader.open(path).happened()) return std::nullopt;
    ConversationBurst burst;
    if (!reader.next(burst))
        return reader.failure().happened() ? std::nullopt : std::optional<std::uint64_t>{0};
    const std::uint64_t first = burst.timeMicros;
    std::uint64_t last = first;
    if (reader.readLast(burst)) {
        last = burst.timeMicros;
    } else {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        if (error || size > scanLimitBytes) return std::nullopt;
        // The latest instant, as a file whose time steps back a little lasts to that one.
        while (reader.next(burst)) last = std::max(last, burst.timeMicros);
        if (reader.failure().happened()) return std::nullopt;
    }
    return last > first ? last - first : 0;
}
