#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/SerialDeviceAliases.h"

namespace {

// The same file, or the same character device under another node. Not through
// std::filesystem::equivalent, which refuses to compare two device nodes.
bool sameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// Links are followed to the end, so one that leads there by a relative path or through another
// link counts as well.
std::vector<std::string> serialDeviceAliases(const std::string& devicePath,
                                             const std::string& directory) {
    std::vector<std::string> aliases;
    struct stat device {};
    if (::stat(devicePath.c_str(), &device) != 0) return aliases;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory, error);
    if (error) return aliases;
    for (const std::filesystem::directory_entry& entry : entries) {
        struct stat target {};
        if (::stat(entry.path().c_str(), &target) == 0 && sameDevice(device, target))
            aliases.push_back(entry.path().string());
    }
    std::sort(aliases.begin(), aliases.end());
    return aliases;
}
