#include "convert/FailureText.h"

#include <cstring>

std::string withReason(const std::string& text, int error) {
    return text + "\r\n" + std::strerror(error);
}
