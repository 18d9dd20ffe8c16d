#pragma once

// For the native benchmarks that run veltrane-cli as a program of its own: a number from its JSON
// report, and a path as the Windows build under Wine names it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

// A number in a JSON report, found by its key.
inline std::optional<double> reportNumber(const std::filesystem::path& report,
                                          const std::string& key) {
    std::ifstream file(report);
    std::stringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    const std::size_t at = all.find("\"" + key + "\"");
    if (at == std::string::npos) return std::nullopt;
    const std::size_t colon = all.find(':', at);
    if (colon == std::string::npos) return std::nullopt;
    return std::strtod(all.c_str() + colon + 1, nullptr);
}

// The numbers of these keys in a JSON report, in their order; nothing when any is missing.
inline std::optional<std::vector<double>> reportNumbers(const std::filesystem::path& report,
                                                        std::initializer_list<const char*> keys) {
    std::vector<double> numbers;
    for (const char* key : keys) {
        const std::optional<double> number = reportNumber(report, key);
        if (!number) return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

// The path on Wine's drive Z:, which is the root of the Linux file system.
inline std::string onDriveZ(const std::filesystem::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text) c = c == '/' ? '\\' : c;
    return text;
}
