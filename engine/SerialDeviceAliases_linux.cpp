#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/SerialDeviceAliases.h"

// Compared as files (device and inode), so that a link that leads there by a relative path or
// through another link counts as well.
std::vector<std::string> serialDeviceAliases(const std::string& devicePath,
                                             const std::string& directory) {
    std::vector<std::string> aliases;
    std::error_code error;
    if (!std::filesystem::exists(devicePath, error)) return aliases;
    std::filesystem::directory_iterator entries(directory, error);
    if (error) return aliases;
    for (const std::filesystem::directory_entry& entry : entries) {
        std::error_code unreadable;
        if (std::filesystem::equivalent(entry.path(), devicePath, unreadable) && !unreadable)
            aliases.push_back(entry.path().string());
    }
    std::sort(aliases.begin(), aliases.end());
    return aliases;
}
