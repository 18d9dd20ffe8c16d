#pragma once

#include <string>

// A file name of its own in the system's folder for temporary files, whose file (if one was
// made there) is removed when this goes. Nothing is made: the name is free when it is chosen.
class TemporaryFile {
public:
    // `ending` closes the name, e.g. ".pcapng".
    explicit TemporaryFile(const std::string& ending);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Empty when the system names no folder for temporary files.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
