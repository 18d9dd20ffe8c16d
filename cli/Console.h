#pragma once

// Where a command's words go: its result alone on standard output, so that it can be piped;
// errors and progress on standard error, errors as one line that names the command.

#include <cstdio>
#include <string>

#include "engine/Failure.h"

enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // the command could not do its work (a file, a port, the system)
    kExitUsage = 2,    // the command line was wrong: nothing was done
};

struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Progress is drawn only on a terminal, and not with --quiet.
    bool showProgress = false;
};

// "veltrane-cli <command>: <text>" on standard error; returns kExitFailure.
int reportFailure(const Console& console, const std::string& command, const std::string& text);
// The failure in the command line's words (cli/FailureLine.h), then "; <after>" when given.
int reportFailure(const Console& console, const std::string& command, const Failure& failure,
                  const std::string& after = {});
// The same for a mistake in the command line, with where to find help; returns kExitUsage.
int reportUsageError(const Console& console, const std::string& command, const std::string& text);

// Standard streams as a console program needs them: binary output (no line-end translation of
// exported bytes). Platform file.
void prepareStandardStreams();
bool isTerminal(std::FILE* stream);
