// veltrane-cli: records, replays, describes and converts serial files without a window, for
// test rigs and scripts.
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/Console.h"

namespace {

void printProgramHelp(std::FILE* out) {
    std::fprintf(out,
                 "Usage: veltrane-cli <command> [arguments] [options]\n"
                 "       veltrane-cli <command> --help\n"
                 "       veltrane-cli --version\n\nCommands:\n");
    for (const Command& command : commands()) {
        std::fprintf(out, "  %-8s %s\n", command.name.c_str(), command.summary.c_str());
    }
    std::fprintf(out, "\n%s", kExitRule);
}

const Command* findCommand(const std::string& name) {
    for (const Command& command : commands()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    prepareStandardStreams();
    Console console;
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (words.empty()) {
        printProgramHelp(console.err);
        return kExitUsage;
    }
    const std::string& first = words[0];
    if (first == "--help" || first == "-h" || first == "help") {
        printProgramHelp(console.out);
        return kExitSuccess;
    }
    if (first == "--version") {
        std::fprintf(console.out, "veltrane-cli %s\n", VELTRANE_VERSION);  // from the build
        return kExitSuccess;
    }
    const Command* command = findCommand(first);
    if (command == nullptr) {
        return reportUsageError(console, "", "unknown command \"" + first + "\"");
    }

    std::vector<OptionSpec> accepted = command->options;
    accepted.push_back({"--help", false, "-h"});
    accepted.push_back({"--quiet", false, "-q"});
    std::string error;
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    const auto arguments = Arguments::parse(rest, accepted, &error);
    if (!arguments) return reportUsageError(console, command->name, error);
    if (arguments->has("--help")) {
        std::fprintf(console.out, "%s", command->help.c_str());
        return kExitSuccess;
    }
    console.showProgress = !arguments->has("--quiet") && isTerminal(console.err);
    return command->run(*arguments, console);
}
