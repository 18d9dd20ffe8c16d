#include <cerrno>
#include <system_error>

#include "engine/SystemError.h"

// POSIX has one numbering: the system's errors are errno's.
SystemError lastSystemError() { return {SystemError::Numbering::System, errno}; }

std::string systemNumberingText(int number) { return std::generic_category().message(number); }
