#include <cerrno>

#include "engine/WriteFailure.h"

void clearWriteFailure() { errno = 0; }

SystemError lastWriteFailure() {
    const SystemError error = lastSystemError();
    return error.isSet() ? error : diskFullFailure();
}

SystemError diskFullFailure() { return {SystemError::Numbering::System, ENOSPC}; }
