#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// An open registry key, closed when the object ends.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens root\path for reading; or for writing, creating what is missing.
    static RegistryKey openForRead(HKEY root, const std::string& path);
    static RegistryKey openForWrite(HKEY root, const std::string& path);

    bool isOpen() const { return key_ != nullptr; }

    // Each read fails when the value is missing or of another type.
    bool readDword(const std::string& name, DWORD& value) const;
    bool readString(const std::string& name, std::string& value) const;
    bool readBinary(const std::string& name, std::vector<std::uint8_t>& value) const;

    bool writeDword(const std::string& name, DWORD value);
    bool writeString(const std::string& name, const std::string& value);
    bool writeBinary(const std::string& name, const std::vector<std::uint8_t>& value);

    // The names of the key's values; none when it is not open.
    std::vector<std::string> valueNames() const;
    // True when the value is gone, also when it was never there.
    bool removeValue(const std::string& name);

private:
    explicit RegistryKey(HKEY key) : key_(key) {}
    HKEY key_ = nullptr;
};

// Removes root\path with every subkey and value; true when nothing is left.
bool deleteRegistryTree(HKEY root, const std::string& path);
