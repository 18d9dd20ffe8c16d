#include "cli/Console.h"

#include "cli/FailureLine.h"

namespace {
std::string prefix(const std::string& command) {
    return command.empty() ? "veltrane-cli: " : "veltrane-cli " + command + ": ";
}
}  // namespace

int reportFailure(const Console& console, const std::string& command, const std::string& text) {
    std::fprintf(console.err, "%s%s\n", prefix(command).c_str(), text.c_str());
    return kExitFailure;
}

int reportFailure(const Console& console, const std::string& command, const Failure& failure,
                  const std::string& after) {
    const std::string line = failureLine(failure);
    return reportFailure(console, command, after.empty() ? line : line + "; " + after);
}

int reportUsageError(const Console& console, const std::string& command, const std::string& text) {
    const std::string help =
        command.empty() ? "veltrane-cli --help" : "veltrane-cli " + command + " --help";
    std::fprintf(console.err, "%s%s (see %s)\n", prefix(command).c_str(), text.c_str(),
                 help.c_str());
    return kExitUsage;
}

int reportMistake(const Console& console, const std::string& command, const std::string& line) {
    std::fprintf(console.err, "%s%s\n", prefix(command).c_str(), line.c_str());
    return kExitUsage;
}
