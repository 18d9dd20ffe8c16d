#pragma once

#include <string>

#include "engine/Profile.h"

// The settings store in the registry: HKEY_CURRENT_USER\Software\<company>\<application>, one
// key per section. Integers are DWORD values, texts string values, blobs binary values; a key is
// created on the first write into it.
class RegistryProfile : public Profile {
public:
    RegistryProfile(const std::string& company, const std::string& application);

    const std::string& rootPath() const { return rootPath_; }

    int readInt(const std::string& section, const std::string& name, int defaultValue) override;
    std::string readString(const std::string& section, const std::string& name,
                           const std::string& defaultValue) override;
    bool readBinary(const std::string& section, const std::string& name,
                    std::vector<std::uint8_t>& out) override;
    bool writeInt(const std::string& section, const std::string& name, int value) override;
    bool writeString(const std::string& section, const std::string& name,
                     const std::string& value) override;
    bool writeBinary(const std::string& section, const std::string& name,
                     const std::vector<std::uint8_t>& value) override;
    std::vector<std::string> valueNames(const std::string& section) override;
    bool removeValue(const std::string& section, const std::string& name) override;

private:
    std::string sectionPath(const std::string& section) const;

    std::string rootPath_;
};
