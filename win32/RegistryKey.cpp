#include "win32/RegistryKey.h"

#include <utility>

RegistryKey::~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = other.key_;
        other.key_ = nullptr;
    }
    return *this;
}

RegistryKey RegistryKey::openForRead(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    return RegistryKey(key);
}

RegistryKey RegistryKey::openForWrite(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return RegistryKey(key);
}

bool RegistryKey::readDword(const std::string& name, DWORD& value) const {
    if (key_ == nullptr) return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data) {
        return false;
    }
    value = data;
    return true;
}

bool RegistryKey::readString(const std::string& name, std::string& value) const {
    if (key_ == nullptr) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::string data(size, '\0');
    if (size > 0 && RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.data()), &size) !=
                        ERROR_SUCCESS) {
        return false;
    }
    data.resize(size);
    // Stored strings may or may not carry their terminator.
    while (!data.empty() && data.back() == '\0') data.pop_back();
    value = data;
    return true;
}

bool RegistryKey::readBinary(const std::string& name, std::vector<std::uint8_t>& value) const {
    if (key_ == nullptr) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_BINARY) {
        return false;
    }
    std::vector<std::uint8_t> data(size);
    if (size > 0 && RegQueryValueExA(key_, name.c_str(), nullptr, &type, data.data(), &size) !=
                        ERROR_SUCCESS) {
        return false;
    }
    data.resize(size);
    value = std::move(data);
    return true;
}

bool RegistryKey::writeDword(const std::string& name, DWORD value) {
    return key_ != nullptr &&
           RegSetValueExA(key_, name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool RegistryKey::writeString(const std::string& name, const std::string& value) {
    return key_ != nullptr &&
           RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::writeBinary(const std::string& name, const std::vector<std::uint8_t>& value) {
    return key_ != nullptr &&
           RegSetValueExA(key_, name.c_str(), 0, REG_BINARY, value.data(),
                          static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
}

// The longest name is told in UTF-16 units, and a name in the ANSI code page may take more
// bytes than that (two a character for a Japanese path): the names are read wide, then
// converted.
std::vector<std::string> RegistryKey::valueNames() const {
    std::vector<std::string> names;
    if (key_ == nullptr) return names;
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::vector<wchar_t> name(longest + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        const int bytes = WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(length),
                                              nullptr, 0, nullptr, nullptr);
        std::string converted(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
        if (bytes > 0) {
            WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(length), converted.data(),
                                bytes, nullptr, nullptr);
        }
        if (length == 0 || bytes > 0) names.push_back(std::move(converted));
    }
    return names;
}

bool RegistryKey::removeValue(const std::string& name) {
    if (key_ == nullptr) return false;
    const LSTATUS status = RegDeleteValueA(key_, name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool deleteRegistryTree(HKEY root, const std::string& path) {
    LSTATUS status = RegDeleteTreeA(root, path.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyA(root, path.c_str());
        return true;
    }
    return false;
}
