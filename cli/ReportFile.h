#pragma once

#include <string>

#include "engine/Failure.h"

// Writes a command's JSON report into path, replacing what was there.
Failure writeReportFile(const std::string& path, const std::string& json);
