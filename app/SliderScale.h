#pragma once

#include <cstdint>
#include <vector>

// The position slider counts in int, the file's length in unsigned 32-bit tenths: a length past
// the int range is shown at half the resolution (two tenths a slider step), so the whole file
// still fits. Positions below are slider steps; lengths and results are tenths.
int sliderMaximumFor(std::uint32_t duration);
int sliderPositionOf(std::uint32_t tenths, std::uint32_t duration);
// The slider's last step stands for the file's end exactly, whatever the scale.
std::uint32_t tenthsAtSlider(int position, std::uint32_t duration);
// The spacing of the slider's ticks, in slider steps, for a range 0..maximum: one a
// second (10 steps) while that draws at most kMostSliderTicks ticks, else the shortest round
// time (2 s, 5 s, ... 1 min, ... 1 h, ... days) that stays within them, so that a long
// recording does not draw a tick per second.
inline constexpr int kMostSliderTicks = 50;
int sliderTickSpacing(int maximum);
// The slider's ticks between its ends (the trackbar draws those itself): every multiple of the
// spacing above that lies inside 0..maximum.
std::vector<int> sliderTickPositions(int maximum);
