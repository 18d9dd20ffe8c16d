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

// Each tick is drawn on every paint, so their number, not the range, must stay small. The
// spacing is a round time (seconds, minutes, hours, days) so that ticks mark whole units.
int sliderTickSpacing(int maximum) {
    constexpr int kSecond = 10;
    constexpr int kDay = 86400;
    constexpr int kRoundSeconds[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                     600, 900, 1800, 3600, 7200, 10800, 21600, 43200, kDay};
    const int seconds = maximum / kSecond;
    for (int round : kRoundSeconds) {
        if (seconds / round <= kMostSliderTicks) return round * kSecond;
    }
    const int days = (seconds / kDay + kMostSliderTicks) / kMostSliderTicks;
    return days * kDay * kSecond;
}

std::vector<int> sliderTickPositions(int maximum) {
    std::vector<int> positions;
    const std::int64_t spacing = sliderTickSpacing(maximum);
    for (std::int64_t tick = spacing; tick < maximum; tick += spacing) {
        positions.push_back(static_cast<int>(tick));
    }
    return positions;
}
