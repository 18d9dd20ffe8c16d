#include "convert/FailureText.h"

#include <cstring>

#include "engine/WriteFailure.h"

std::string withReason(const std::string& text, int error) {
    return text + "\r\n" + std::strerror(error);
}

std::string withWriteReason(const std::string& text, int failure) {
    return text + "\r\n" + writeFailureText(failure);
}
