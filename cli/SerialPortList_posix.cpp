#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/SerialPortList.h"

namespace {

namespace fs = std::filesystem;

class OpenDevice {
public:
    explicit OpenDevice(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~OpenDevice() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// ttyS0..ttyS31 exist whether or not a UART is behind them; only a known UART type answers.
bool answers(const std::string& path, bool builtInUart) {
    OpenDevice device(path);
    if (device.fd() < 0) return false;
    if (builtInUart) {
        serial_struct info{};
        return ::ioctl(device.fd(), TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    }
    termios settings{};
    return ::tcgetattr(device.fd(), &settings) == 0;
}

// ttyUSB2 before ttyUSB10.
bool numberedBefore(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<std::string> devicesNamed(const std::string& prefix, bool builtInUart) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator entry("/dev", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            found.push_back(entry->path().string());
        }
    }
    std::sort(found.begin(), found.end(), numberedBefore);
    std::erase_if(found, [&](const std::string& path) { return !answers(path, builtInUart); });
    return found;
}

}  // namespace

std::vector<std::string> listSerialPorts() {
    std::vector<std::string> lines;
    // Names that stay with the device whatever order it was plugged in.
    std::error_code error;
    for (fs::directory_iterator entry("/dev/serial/by-id", error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        const fs::path target = fs::canonical(entry->path(), ignored);
        lines.push_back(entry->path().string() + " -> " +
                        (ignored ? fs::read_symlink(entry->path(), ignored).string()
                                 : target.string()));
    }
    std::sort(lines.begin(), lines.end());
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (std::string& path : devicesNamed(prefix, false)) lines.push_back(std::move(path));
    }
    for (std::string& path : devicesNamed("ttyS", true)) lines.push_back(std::move(path));
    return lines;
}
