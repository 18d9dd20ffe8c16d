#include "convert/ReplacingOutput.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "convert/FileReplacement.h"
#include "engine/WriteFailure.h"

namespace {

// Names already taken are passed over; this many in a row means something else is wrong.
constexpr int kNameAttempts = 100;

// "<name>.<8 hex digits>.tmp" in the target's folder: the move stays within one file system,
// and a name left by a crash still shows which file it was meant for.
std::string nameBeside(const std::filesystem::path& target, std::mt19937& random) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string tag(8, '0');
    for (char& digit : tag) digit = kDigits[random() % 16];
    std::filesystem::path beside = target;
    beside += "." + tag + ".tmp";
    return beside.string();
}

}  // namespace

ReplacingOutput::ReplacingOutput(std::string target) : target_(std::move(target)) {}

ReplacingOutput::~ReplacingOutput() { discard(); }

std::FILE* ReplacingOutput::open() {
    discard();
    if (namesDevice(target_)) {  // written straight, as before
        std::FILE* file = std::fopen(target_.c_str(), "wb");
        if (file == nullptr) openError_ = lastCLibraryError();
        return file;
    }
    std::error_code error;
    const auto status = std::filesystem::status(target_, error);
    std::filesystem::path target = target_;
    if (std::filesystem::exists(status)) {
        // A file that could not be written over is not replaced either, and tells why as
        // writing it would have. Opened to append, it stays as it is.
        std::FILE* check = std::fopen(target_.c_str(), "ab");
        if (check == nullptr) {
            openError_ = lastCLibraryError();
            return nullptr;
        }
        std::fclose(check);
        // A link is followed, so that the file it names is replaced and the link stays.
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) {
            auto resolved = std::filesystem::canonical(target, error);
            if (!error) target = std::move(resolved);
        }
    }
    const auto permissions = status.permissions();
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = nameBeside(target, random);
        bool nameTaken = false;
        if (std::FILE* file = createNewFile(name, nameTaken)) {
            written_ = name;
            replaced_ = target.string();
            // The new file keeps the old one's permissions.
            if (std::filesystem::exists(status))
                std::filesystem::permissions(name, permissions, error);
            return file;
        }
        if (!nameTaken) break;
    }
    openError_ = lastCLibraryError();
    return nullptr;
}

bool ReplacingOutput::commit() {
    if (written_.empty()) return true;
    if (!replaceFile(written_, replaced_)) {
        moveFailure_ = lastWriteFailure();
        discard();
        return false;
    }
    written_.clear();
    return true;
}

void ReplacingOutput::discard() {
    if (written_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(written_, ignored);
    written_.clear();
}
