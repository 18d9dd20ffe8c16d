#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "convert/FileReplacement.h"
#include "engine/WriteFailure.h"

std::FILE* createNewFile(const std::string& path, bool& nameTaken) {
    clearWriteFailure();
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    nameTaken = false;
    // From here the C runtime owns the handle: closing the stream closes it.
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        DeleteFileA(path.c_str());
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        _close(descriptor);
        DeleteFileA(path.c_str());
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    return file;
}

// Replacing in place keeps the move one step; the write-through makes it last once it returns.
bool replaceFile(const std::string& from, const std::string& to) {
    clearWriteFailure();
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
