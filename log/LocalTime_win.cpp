#include "log/LocalTime.h"

std::optional<std::tm> toLocalTime(std::time_t when) {
    std::tm local{};
    __time64_t when64 = when;
    if (_localtime64_s(&local, &when64) != 0) return std::nullopt;
    return local;
}
