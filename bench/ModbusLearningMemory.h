#pragma once

#include <filesystem>
#include <string>

// veltrane-cli info FILE --modbus over a generated Modbus RTU conversation of about 1 GiB (one
// unit reading a few blocks of registers over and over, their values changing): prints the
// time it took and its peak resident memory. The file is made in folder and removed.
void measureModbusLearning(const std::string& cli, const std::filesystem::path& folder);
