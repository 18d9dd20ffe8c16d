#include "app/RegistryProfile.h"

#include "win32/RegistryKey.h"

RegistryProfile::RegistryProfile(const std::string& company, const std::string& application)
    : rootPath_("Software\\" + company + "\\" + application) {}

std::string RegistryProfile::sectionPath(const std::string& section) const {
    return rootPath_ + "\\" + section;
}

int RegistryProfile::readInt(const std::string& section, const std::string& name,
                             int defaultValue) {
    DWORD value = 0;
    auto key = RegistryKey::openForRead(HKEY_CURRENT_USER, sectionPath(section));
    if (!key.readDword(name, value)) return defaultValue;
    return static_cast<int>(value);
}

std::string RegistryProfile::readString(const std::string& section, const std::string& name,
                                        const std::string& defaultValue) {
    std::string value;
    auto key = RegistryKey::openForRead(HKEY_CURRENT_USER, sectionPath(section));
    if (!key.readString(name, value)) return defaultValue;
    return value;
}

bool RegistryProfile::readBinary(const std::string& section, const std::string& name,
                                 std::vector<std::uint8_t>& out) {
    out.clear();
    auto key = RegistryKey::openForRead(HKEY_CURRENT_USER, sectionPath(section));
    return key.readBinary(name, out);
}

bool RegistryProfile::writeInt(const std::string& section, const std::string& name, int value) {
    auto key = RegistryKey::openForWrite(HKEY_CURRENT_USER, sectionPath(section));
    return key.writeDword(name, static_cast<DWORD>(value));
}

bool RegistryProfile::writeString(const std::string& section, const std::string& name,
                                  const std::string& value) {
    auto key = RegistryKey::openForWrite(HKEY_CURRENT_USER, sectionPath(section));
    return key.writeString(name, value);
}

bool RegistryProfile::writeBinary(const std::string& section, const std::string& name,
                                  const std::vector<std::uint8_t>& value) {
    auto key = RegistryKey::openForWrite(HKEY_CURRENT_USER, sectionPath(section));
    return key.writeBinary(name, value);
}

std::vector<std::string> RegistryProfile::valueNames(const std::string& section) {
    return RegistryKey::openForRead(HKEY_CURRENT_USER, sectionPath(section)).valueNames();
}

bool RegistryProfile::removeValue(const std::string& section, const std::string& name) {
    auto key = RegistryKey::openForWrite(HKEY_CURRENT_USER, sectionPath(section));
    return key.removeValue(name);
}
