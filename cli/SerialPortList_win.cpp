#include <windows.h>

#include <algorithm>
#include <cstring>

#include "cli/SerialPortList.h"

namespace {

class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* path) {
        if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The ports' drivers enter them here while the device is present.
std::vector<std::string> registeredPorts() {
    std::vector<std::string> ports;
    RegistryKey key(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key.get()) return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE value[256] = {};
        DWORD valueLength = sizeof value - 1;
        DWORD type = 0;
        const LONG status =
            RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, value, &valueLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        ports.emplace_back(reinterpret_cast<const char*>(value));
    }
    return ports;
}

bool isComName(const char* name) {
    if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
    for (const char* c = name + 3; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
    }
    return true;
}

// Every DOS device name; the COM ones among them.
std::vector<std::string> dosDevicePorts() {
    std::vector<std::string> ports;
    std::vector<char> names(64 * 1024);
    const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (DWORD at = 0; at < length && names[at] != '\0';) {
        const char* name = names.data() + at;
        if (isComName(name)) ports.emplace_back(name);
        at += static_cast<DWORD>(std::strlen(name)) + 1;
    }
    return ports;
}

// COM2 before COM10.
bool numberedBefore(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

std::vector<std::string> listSerialPorts() {
    std::vector<std::string> ports = registeredPorts();
    if (ports.empty()) ports = dosDevicePorts();
    std::sort(ports.begin(), ports.end(), numberedBefore);
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}
