#pragma once

#include <string>

#include "engine/Failure.h"

// The command line's one line for each kind of failure, the same in every command:
// "cannot open FILE: REASON", "port PORT failed: REASON". Empty for no failure.
std::string failureLine(const Failure& failure);
