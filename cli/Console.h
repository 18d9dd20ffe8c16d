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

// The exit rule, what Ctrl+C means for each command included, as the program's --help and the
// README state it.
inline constexpr const char* kExitRule =
    "Exit status:\n"
    "  0    the work is done; a recording or a replay stopped by Ctrl+C, --duration or\n"
    "       --idle-stop ends well too: what was recorded or sent is whole\n"
    "  1    the work failed (a file, a port, the system; a recording whose device went\n"
    "       away keeps what came), or a conversion (export, import) was cancelled by\n"
    "       Ctrl+C: it leaves its output file as it was\n"
    "  2    the command line was wrong: nothing was done\n\n"
    "A hang-up, and on Windows the console closing, log-off or shutdown, count as Ctrl+C.\n";

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

// A mistake in a file that says what to do (a rules file, a Modbus map): "FILE:LINE: what is
// wrong" as it is, for an editor to jump to; returns kExitUsage, as nothing was done.
int reportMistake(const Console& console, const std::string& command, const std::string& line);

// Standard streams as a console program needs them: binary output (no line-end translation of
// exported bytes). Platform file.
void prepareStandardStreams();
bool isTerminal(std::FILE* stream);
