#pragma once

#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>

// "Name|*.ext|All Files (*.*)|*.*||" as the common dialogs want it: NUL-separated pairs.
std::string fileDialogFilter(const std::string& barSeparated);

// The system's file-open and file-save dialogs; the chosen full path, or nothing on Cancel.
std::optional<std::string> chooseFileToOpen(HWND owner, const std::string& filter, DWORD options);
std::optional<std::string> chooseFileToSave(HWND owner, const std::string& filter,
                                            const char* defaultExtension, DWORD options);
