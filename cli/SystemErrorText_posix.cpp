#include <cerrno>
#include <cstring>

#include "cli/SystemErrorText.h"

std::string lastSystemErrorText() { return errno != 0 ? std::strerror(errno) : ""; }
