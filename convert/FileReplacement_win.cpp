#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "convert/FileReplacement.h"
#include "engine/WriteFailure.h"

// Device names (NUL, LPT1, COM3) need no folder and exist in every one, so the file system's
// own view is not asked: what an open finds tells.
bool namesDevice(const std::string& path) {
    HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type != FILE_TYPE_DISK;
}

// Through the C runtime, so that a failure has its errno as fopen would give it.
std::FILE* createNewFile(const std::string& path, bool& nameTaken) {
    const int descriptor =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    nameTaken = descriptor < 0 && errno == EEXIST;
    if (descriptor < 0) return nullptr;
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int error = errno;
        _close(descriptor);
        DeleteFileA(path.c_str());
        errno = error;
    }
    return file;
}

// Replacing in place keeps the move one step; the write-through makes it last once it returns.
bool replaceFile(const std::string& from, const std::string& to) {
    clearWriteFailure();
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
