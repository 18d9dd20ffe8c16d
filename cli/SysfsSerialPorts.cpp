#include "cli/SysfsSerialPorts.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

bool isNumbered(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// ttyUSB2 before ttyUSB10.
bool numberedBefore(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// The serial core's "type" attribute: the UART model found, 0 (PORT_UNKNOWN) when none was,
// which is what TIOCGSERIAL tells an opened port.
bool hasKnownUart(const fs::path& ttyEntry) {
    std::ifstream type(ttyEntry / "type");
    int model = 0;
    return static_cast<bool>(type >> model) && model != 0;
}

std::vector<std::string> devicesNamed(const SystemFolders& folders, const std::string& prefix,
                                      bool builtInUart) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folders.sys / "class" / "tty", error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (!isNumbered(name, prefix)) continue;
        std::error_code ignored;
        // Terminals the kernel makes up (consoles, pseudo-terminals) have no device behind.
        if (!fs::exists(entry->path() / "device", ignored)) continue;
        if (builtInUart && !hasKnownUart(entry->path())) continue;
        if (!fs::exists(folders.dev / name, ignored)) continue;  // no node to open
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), numberedBefore);
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back((folders.dev / name).string());
    return paths;
}

}  // namespace

std::vector<std::string> serialPortsDescribedIn(const SystemFolders& folders) {
    std::vector<std::string> lines;
    // Names that stay with the device whatever order it was plugged in.
    std::error_code error;
    for (fs::directory_iterator entry(folders.dev / "serial" / "by-id", error), end;
         !error && entry != end; entry.increment(error)) {
        std::error_code ignored;
        const fs::path target = fs::canonical(entry->path(), ignored);
        lines.push_back(
            entry->path().string() + " -> " +
            (ignored ? fs::read_symlink(entry->path(), ignored).string() : target.string()));
    }
    std::sort(lines.begin(), lines.end());
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (std::string& path : devicesNamed(folders, prefix, false)) {
            lines.push_back(std::move(path));
        }
    }
    for (std::string& path : devicesNamed(folders, "ttyS", true)) lines.push_back(std::move(path));
    return lines;
}
