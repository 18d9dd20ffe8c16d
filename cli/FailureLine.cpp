#include "cli/FailureLine.h"

namespace {

std::string withReason(const std::string& what, const Failure& failure) {
    const std::string reason = failure.reason();
    return reason.empty() ? what : what + ": " + reason;
}

}  // namespace

std::string failureLine(const Failure& failure) {
    const std::string& subject = failure.subject;
    switch (failure.kind) {
        case Failure::Kind::OpenInput:
            return withReason("cannot open " + subject, failure);
        case Failure::Kind::ReadInput:
            return withReason("cannot read " + subject, failure);
        case Failure::Kind::CreateOutput:
            return withReason("cannot create " + subject, failure);
        case Failure::Kind::WriteOutput:
            return withReason("cannot write " + subject, failure);
        case Failure::Kind::OpenPort:
            return withReason("cannot open port " + subject, failure);
        case Failure::Kind::PortTimeouts:
            return withReason("cannot set the timeouts of port " + subject, failure);
        case Failure::Kind::PortLost:
            return withReason("port " + subject + " failed", failure);
        case Failure::Kind::None:
            break;
    }
    return {};
}
