#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "convert/FileReplacement.h"
#include "engine/WriteFailure.h"

bool namesDevice(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

std::FILE* createNewFile(const std::string& path, bool& nameTaken) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    nameTaken = descriptor < 0 && errno == EEXIST;
    if (descriptor < 0) return nullptr;
    std::FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(descriptor);
        ::unlink(path.c_str());
        errno = error;
    }
    return file;
}

// rename() is the one step: readers of the old name see either file whole.
bool replaceFile(const std::string& from, const std::string& to) {
    clearWriteFailure();
    return std::rename(from.c_str(), to.c_str()) == 0;
}
