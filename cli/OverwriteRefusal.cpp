#include "cli/OverwriteRefusal.h"

#include <filesystem>
#include <system_error>

#include "conversation/ConversationFileName.h"
#include "convert/SamePath.h"

std::optional<std::string> overwriteRefusal(std::initializer_list<NamedFile> outputs,
                                            std::initializer_list<NamedFile> inUse) {
    for (const NamedFile& output : outputs) {
        if (!output.path) continue;
        for (const NamedFile& file : inUse) {
            if (file.path && namesSameFile(*output.path, *file.path))
                return "cannot " + output.words + " " + *output.path + ": it is " + file.words;
        }
    }
    return std::nullopt;
}

bool namesSpecialFile(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

std::string inputWords(const std::string& path, const std::string& use) {
    return std::string(namesConversationFile(path) ? "the conversation file "
                                                   : "the serial file ") +
           use;
}
