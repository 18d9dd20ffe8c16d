#include "workers/PortFailure.h"

std::string portFailureSentence(const PortFailure& failure) {
    switch (failure.kind) {
        case PortFailure::Kind::Open:
            return "cannot open port " + failure.port + ": " + failure.reason;
        case PortFailure::Kind::Timeouts:
            return "cannot set the timeouts of port " + failure.port + ": " + failure.reason;
        case PortFailure::Kind::Lost:
            return "port " + failure.port + " failed: " + failure.reason;
        case PortFailure::Kind::None:
            break;
    }
    return {};
}
