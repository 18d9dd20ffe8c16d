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

// Each tick is drawn on every paint, so their number, not the range, must stay small.
int sliderTickSpacing(int maximum) {
    constexpr int kSecond = 10;
    if (maximum <= kSecond * kMostSliderTicks) return kSecond;
    const int seconds = maximum / kSecond;
    const int secondsPerTick = (seconds + kMostSliderTicks - 1) / kMostSliderTicks;
    return secondsPerTick * kSecond;
}
