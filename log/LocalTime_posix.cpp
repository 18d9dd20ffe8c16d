#include "log/LocalTime.h"

std::optional<std::tm> toLocalTime(std::time_t when) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::nullopt;
    return local;
}
