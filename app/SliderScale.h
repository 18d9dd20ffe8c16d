#pragma once

#include <cstdint>

// The position slider counts in int, the file's length in unsigned 32-bit tenths: a length past
// the int range is shown at half the resolution (two tenths a slider step), so the whole file
// still fits. Positions below are slider steps; lengths and results are tenths.
int sliderMaximumFor(std::uint32_t duration);
int sliderPositionOf(std::uint32_t tenths, std::uint32_t duration);
// The slider's last step stands for the file's end exactly, whatever the scale.
std::uint32_t tenthsAtSlider(int position, std::uint32_t duration);
