#include <windows.h>

#include "engine/WriteFailure.h"

// The C runtime's errno is not to be trusted here: after a short write to a disk that has just
// filled it can hold a stale value. The system's last error names the cause.
void clearWriteFailure() { SetLastError(ERROR_SUCCESS); }

SystemError lastWriteFailure() {
    const SystemError error = lastSystemError();
    return error.isSet() ? error : diskFullFailure();
}

SystemError diskFullFailure() { return {SystemError::Numbering::System, ERROR_DISK_FULL}; }
