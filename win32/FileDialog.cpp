#include "win32/FileDialog.h"

std::string fileDialogFilter(const std::string& barSeparated) {
    std::string filter = barSeparated;
    for (char& c : filter) {
        if (c == '|') c = '\0';
    }
    filter.push_back('\0');  // a trailing pair of NULs even without the closing "||"
    return filter;
}

namespace {

std::optional<std::string> run(bool save, HWND owner, const std::string& filter,
                               const char* defaultExtension, DWORD options) {
    std::string filters = fileDialogFilter(filter);
    char path[MAX_PATH * 4] = {};
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = options | OFN_EXPLORER | OFN_NOCHANGEDIR;
    BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!chosen) return std::nullopt;
    return std::string(path);
}

}  // namespace

std::optional<std::string> chooseFileToOpen(HWND owner, const std::string& filter, DWORD options) {
    return run(false, owner, filter, nullptr, options);
}

std::optional<std::string> chooseFileToSave(HWND owner, const std::string& filter,
                                            const char* defaultExtension, DWORD options) {
    return run(true, owner, filter, defaultExtension, options);
}
