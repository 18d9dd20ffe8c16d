#include "bench/PageCache.h"

// Windows drops a file's cached pages only for handles opened without buffering, which the
// reader does not use; a benchmark there measures the warm cache only.
bool dropFromPageCache(const std::string&) { return false; }
