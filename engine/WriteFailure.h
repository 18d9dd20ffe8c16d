#pragma once

#include <string>

// The system's reason for a file write that failed: cleared before each write, read straight
// after a failed one, and told in the system's own words.
void clearWriteFailure();
// A number that is never 0; a short write without a reason counts as a full disk.
int lastWriteFailure();
int diskFullFailure();
std::string writeFailureText(int failure);
