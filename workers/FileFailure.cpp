#include "workers/FileFailure.h"

#include <cstring>

#include "engine/WriteFailure.h"

std::string fileFailureText(const FileFailure& failure) {
    switch (failure.kind) {
        case FileFailure::Kind::Write:
            return writeFailureText(failure.reason);
        case FileFailure::Kind::Read:
            // errno on every platform, even where writes carry the system's own error codes.
            return std::strerror(failure.reason);
        case FileFailure::Kind::None:
            break;
    }
    return {};
}
