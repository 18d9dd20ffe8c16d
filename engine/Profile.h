#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The application's settings store, in sections of named values: the registry under
// HKEY_CURRENT_USER\Software\Quorvale\<application> on Windows, a map in tests.
// Reads fall back to the given default when a value is missing or has another type.
class Profile {
public:
    virtual ~Profile() = default;

    virtual int readInt(const std::string& section, const std::string& name,
                        int defaultValue) = 0;
    virtual std::string readString(const std::string& section, const std::string& name,
                                   const std::string& defaultValue) = 0;
    // False when the value is missing; `out` is then left empty.
    virtual bool readBinary(const std::string& section, const std::string& name,
                            std::vector<std::uint8_t>& out) = 0;

    virtual bool writeInt(const std::string& section, const std::string& name, int value) = 0;
    virtual bool writeString(const std::string& section, const std::string& name,
                             const std::string& value) = 0;
    virtual bool writeBinary(const std::string& section, const std::string& name,
                             const std::vector<std::uint8_t>& value) = 0;

    // The names of a section's values, in no particular order.
    virtual std::vector<std::string> valueNames(const std::string& section) = 0;
    // True when the value is gone, also when it was never there.
    virtual bool removeValue(const std::string& section, const std::string& name) = 0;
};
