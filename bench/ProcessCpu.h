#pragma once

#include <chrono>

// The processor time this process has used so far, user and system together.
std::chrono::microseconds processCpuTime();
