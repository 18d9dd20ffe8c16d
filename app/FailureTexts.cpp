#include "app/FailureTexts.h"

namespace {

using Kind = Failure::Kind;

// The box's heading, and the reason on the next line when the system gave one.
std::string boxText(const std::string& heading, const Failure& failure) {
    const std::string reason = failure.reason();
    return reason.empty() ? heading : heading + "\r\n" + reason;
}

// The box with the system's own number for the reason, as the boxes about a serial file that
// would not open have always given it.
std::string boxWithSystemText(const std::string& heading, const Failure& failure) {
    const std::string reason = systemErrorText(failure.systemError);
    return reason.empty() ? heading : heading + "\r\n" + reason;
}

// The texts export and import share.
std::string outputFailureText(const Failure& failure, const std::string& notImported) {
    switch (failure.kind) {
        case Kind::CreateOutput:
            return boxText("Error creating " + failure.subject + ":", failure);
        case Kind::ReadInput:
            return boxText("Error reading " + failure.subject + notImported + ":", failure);
        case Kind::WriteOutput:
            return boxText("Error writing " + failure.subject + notImported + ":", failure);
        default:
            return {};
    }
}

}  // namespace

std::string exportFailureText(const Failure& failure) {
    // Spelling kept on purpose: users' scripts match this text.
    if (failure.kind == Kind::OpenInput)
        return boxWithSystemText("Couldnt open serial file!", failure);
    return outputFailureText(failure, "");
}

std::string importFailureText(const Failure& failure) {
    if (failure.kind == Kind::OpenInput)
        return boxText("Error opening " + failure.subject + ":", failure);
    return outputFailureText(failure, "; nothing was imported");
}

std::string loadFailureText(const Failure& failure) {
    // Spelling kept on purpose: logs and users' scripts match this text.
    if (failure.kind == Kind::OpenInput) return boxWithSystemText("Couldnt open file!", failure);
    // A conversation file whose contents are not one: what is wrong, and where.
    if (failure.kind == Kind::ReadInput) return boxText("Couldnt open file!", failure);
    return "";
}

std::string saveFailureText(const Failure& failure) {
    return failure.kind == Kind::WriteOutput
               ? boxText("Error saving to " + failure.subject + ":", failure)
               : "";
}

std::string runFileFailureText(const Failure& failure, bool recording) {
    if (recording && failure.kind == Kind::WriteOutput) {
        return boxText(
            "The recording was stopped: the file " + failure.subject + " could not be written.",
            failure);
    }
    if (!recording && failure.kind == Kind::ReadInput) {
        return boxText("Playing was stopped: the file " + failure.subject + " could not be read.",
                       failure);
    }
    return {};
}

PortFailureWords portFailureWords(const Failure& failure, bool recording) {
    const std::string run = recording ? "The recording" : "Playing";
    const std::string port = "port " + failure.subject;
    switch (failure.kind) {
        case Kind::OpenPort:
            return {
                "Port " + failure.subject + " could not be opened",
                boxText(run + " could not start: the " + port + " could not be opened.", failure)};
        case Kind::PortTimeouts:
            return {
                "Port " + failure.subject + " refused its timeouts",
                boxText(run + " could not start: the " + port + " refused its timeouts.", failure)};
        case Kind::PortLost:
            return {"Port " + failure.subject + " failed",
                    boxText(run + " was stopped: the " + port + " failed.", failure)};
        default:
            return {};
    }
}
