#include "workers/SilenceGap.h"

#include <algorithm>
#include <cmath>

std::uint64_t defaultGapMicros(const DeviceSettings& settings) {
    constexpr double kMinimumMicros = 2000;
    const double stopBits = settings.stopBits == StopBits::Two           ? 2.0
                            : settings.stopBits == StopBits::OneAndAHalf ? 1.5
                                                                         : 1.0;
    const double parityBits = settings.parity == Parity::None ? 0.0 : 1.0;
    const double characterBits = 1.0 + settings.dataBits + parityBits + stopBits;
    const double speed = std::max<std::int32_t>(settings.speed, 1);
    const double gap = std::ceil(3.5 * characterBits * 1e6 / speed);
    return static_cast<std::uint64_t>(std::max(gap, kMinimumMicros));
}
