#pragma once

#include <string>

// Drops the file's pages from the system's cache, so the next read comes from the disk. False
// where the platform offers no way to do that for one file.
bool dropFromPageCache(const std::string& path);
