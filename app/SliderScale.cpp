#include "app/SliderScale.h"

#include <limits>

namespace {
constexpr std::uint32_t kLargestStep = std::numeric_limits<int>::max();

// Tenths per slider step: 1 while the length fits, else 2 (UINT32_MAX / 2 fits in an int).
std::uint32_t tenthsPerStep(std::uint32_t duration) { return duration > kLargestStep ? 2 : 1; }
}  // namespace

int sliderMaximumFor(std::uint32_t duration) {
    return static_cast<int>(duration / tenthsPerStep(duration));
}

int sliderPositionOf(std::uint32_t tenths, std::uint32_t duration) {
    if (tenths >= duration) return sliderMaximumFor(duration);
    return static_cast<int>(tenths / tenthsPerStep(duration));
}

std::uint32_t tenthsAtSlider(int position, std::uint32_t duration) {
    if (position <= 0) return 0;
    if (position >= sliderMaximumFor(duration)) return duration;
    return static_cast<std::uint32_t>(position) * tenthsPerStep(duration);
}
