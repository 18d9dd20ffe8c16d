#include "cli/ReportFile.h"

#include <cstdio>

Failure writeReportFile(const std::string& path, const std::string& json) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return fileFailure(Failure::Kind::CreateOutput, path, lastCLibraryError());
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    const SystemError error = lastCLibraryError();
    if (std::fclose(file) != 0 || !written) {
        return fileFailure(Failure::Kind::WriteOutput, path, written ? lastCLibraryError() : error);
    }
    return {};
}
