#include <unistd.h>

#include "cli/Console.h"

void prepareStandardStreams() {}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }
