#include <windows.h>
// psapi.h needs windows.h before it.
#include <psapi.h>

#include "bench/PeakMemory.h"

double peakMemoryMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
}
