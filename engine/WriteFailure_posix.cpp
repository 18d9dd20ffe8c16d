#include <cerrno>
#include <cstring>

#include "engine/WriteFailure.h"

void clearWriteFailure() { errno = 0; }

int lastWriteFailure() { return errno != 0 ? errno : diskFullFailure(); }

int diskFullFailure() { return ENOSPC; }

std::string writeFailureText(int failure) { return std::strerror(failure); }
