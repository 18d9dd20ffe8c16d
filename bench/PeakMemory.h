#pragma once

// The most memory this process has held at once (its peak resident set), in MiB.
double peakMemoryMiB();
