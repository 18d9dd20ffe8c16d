#pragma once

#include "engine/SystemError.h"

// The system's reason for a file write that failed: cleared before each write and read straight
// after a failed one.
void clearWriteFailure();
// Never an unset error; a short write without a reason counts as a full disk.
SystemError lastWriteFailure();
SystemError diskFullFailure();
