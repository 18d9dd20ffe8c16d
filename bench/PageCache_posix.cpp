#include <fcntl.h>
#include <unistd.h>

#include "bench/PageCache.h"

bool dropFromPageCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    // Dirty pages are not dropped: write them out first.
    bool dropped = ::fsync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    ::close(fd);
    return dropped;
}
