#include "engine/SystemError.h"

#include <cerrno>
#include <system_error>

SystemError lastCLibraryError() { return cLibraryError(errno); }

std::string systemErrorText(const SystemError& error) {
    if (!error.isSet()) return {};
    std::string text = error.numbering == SystemError::Numbering::System
                           ? systemNumberingText(error.number)
                           // strerror's words, without its shared buffer.
                           : std::generic_category().message(error.number);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) return "system error " + std::to_string(error.number);
    return text;
}
