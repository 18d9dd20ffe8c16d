#include <filesystem>
#include <system_error>

#include "convert/SamePath.h"

namespace fs = std::filesystem;

namespace {

bool canonicalForm(const std::string& path, fs::path& out) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) return false;
    out = fs::weakly_canonical(absolute, error);
    return !error;
}

}  // namespace

bool namesSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    fs::path first;
    fs::path second;
    if (canonicalForm(a, first) && canonicalForm(b, second) && first == second) return true;
    // Hard links and bind mounts share a file under different names.
    std::error_code error;
    if (!fs::exists(a, error) || error) return false;
    if (!fs::exists(b, error) || error) return false;
    bool same = fs::equivalent(a, b, error);
    return same && !error;
}
