#include <sys/resource.h>

#include "bench/PeakMemory.h"

double peakMemoryMiB() {
    rusage usage = {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024;  // kilobytes on Linux
}
