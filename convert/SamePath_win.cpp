#include <windows.h>

#include <string>

#include "convert/SamePath.h"

namespace {

bool fullPath(const std::string& path, std::string& out) {
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    out.assign(needed, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), needed, out.data(), nullptr);
    if (length == 0 || length >= needed) return false;
    out.resize(length);
    return true;
}

std::wstring wide(const std::string& text) {
    int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            length);
    return out;
}

// File names compare as the file system does: ordinal, ignoring case.
bool equalIgnoringCase(const std::string& a, const std::string& b) {
    std::wstring first = wide(a);
    std::wstring second = wide(b);
    return CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

bool identify(const std::string& path, FileIdentity& out) {
    // No access rights asked: this only reads the file's identity, whoever has it open.
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    // Some file systems give no index; without one nothing can be told.
    if (!known || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0)) return false;
    out = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

}  // namespace

bool namesSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::string first;
    std::string second;
    if (fullPath(a, first) && fullPath(b, second) && equalIgnoringCase(first, second)) return true;
    // Short 8.3 names, hard links and substituted drives reach one file by other names.
    FileIdentity one;
    FileIdentity other;
    if (!identify(a, one) || !identify(b, other)) return false;
    return one.volume == other.volume && one.indexHigh == other.indexHigh &&
           one.indexLow == other.indexLow;
}
