#include "cli/RespondReport.h"

#include <cstdio>

#include "cli/JsonText.h"

namespace {

struct Latenesses {
    double p50, p99, max;
};

Latenesses latenessesMs(const DelayTally& lateness) {
    return {static_cast<double>(lateness.percentileMicros(0.50)) / 1000.0,
            static_cast<double>(lateness.percentileMicros(0.99)) / 1000.0,
            static_cast<double>(lateness.maxMicros()) / 1000.0};
}

std::string line(const char* format, unsigned long long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string line(const char* format, double value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// {"rule at line 4": 12, ...}
std::string originsJson(const std::map<std::string, std::uint64_t>& byOrigin) {
    std::string json = "{";
    for (const auto& [origin, count] : byOrigin) {
        if (json.size() > 1) json += ", ";
        json += jsonString(origin) + ": " + std::to_string(count);
    }
    return json + "}";
}

}  // namespace

std::string respondReportText(const StandInCounts& c, const DelayTally& lateness,
                              const std::map<std::string, std::uint64_t>& byOrigin) {
    const Latenesses ms = latenessesMs(lateness);
    std::string byEach;
    for (const auto& [origin, count] : byOrigin)
        byEach += "answered by " + origin + ": " + std::to_string(count) + "\n";
    return line("requests: %llu\n", static_cast<unsigned long long>(c.requests)) +
           line("requests answered: %llu\n", static_cast<unsigned long long>(c.answered)) +
           line("answered in order: %llu\n", static_cast<unsigned long long>(c.inOrder)) +
           line("answered out of order: %llu\n", static_cast<unsigned long long>(c.outOfOrder)) +
           line("answered by rules: %llu\n", static_cast<unsigned long long>(c.byRules)) +
           line("answered by the Modbus device: %llu\n",
                static_cast<unsigned long long>(c.byModbus)) +
           line("requests refused: %llu\n", static_cast<unsigned long long>(c.refused)) +
           line("requests unknown: %llu\n", static_cast<unsigned long long>(c.unknown)) + byEach +
           line("answer lateness p50: %.3f ms\n", ms.p50) +
           line("answer lateness p99: %.3f ms\n", ms.p99) +
           line("answer lateness max: %.3f ms\n", ms.max);
}

std::string respondReportJson(const StandInCounts& c, const DelayTally& lateness,
                              const std::map<std::string, std::uint64_t>& byOrigin) {
    const Latenesses ms = latenessesMs(lateness);
    return "{\n" + line("  \"requests\": %llu,\n", static_cast<unsigned long long>(c.requests)) +
           line("  \"requests_answered\": %llu,\n", static_cast<unsigned long long>(c.answered)) +
           line("  \"answered_in_order\": %llu,\n", static_cast<unsigned long long>(c.inOrder)) +
           line("  \"answered_out_of_order\": %llu,\n",
                static_cast<unsigned long long>(c.outOfOrder)) +
           line("  \"answered_from_recording\": %llu,\n",
                static_cast<unsigned long long>(c.inOrder + c.outOfOrder)) +
           line("  \"answered_by_rules\": %llu,\n", static_cast<unsigned long long>(c.byRules)) +
           line("  \"answered_by_modbus\": %llu,\n", static_cast<unsigned long long>(c.byModbus)) +
           line("  \"requests_refused\": %llu,\n", static_cast<unsigned long long>(c.refused)) +
           line("  \"requests_unknown\": %llu,\n", static_cast<unsigned long long>(c.unknown)) +
           "  \"answers_by_origin\": " + originsJson(byOrigin) + ",\n" +
           line("  \"answer_lateness_p50_ms\": %.3f,\n", ms.p50) +
           line("  \"answer_lateness_p99_ms\": %.3f,\n", ms.p99) +
           line("  \"answer_lateness_max_ms\": %.3f\n", ms.max) + "}\n";
}

std::string hexWords(const std::vector<std::uint8_t>& bytes, std::uint64_t total) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    if (total > bytes.size()) text += " ... (" + std::to_string(total) + " bytes)";
    return text;
}
