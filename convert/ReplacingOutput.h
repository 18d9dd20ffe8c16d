#pragma once

#include <cstdio>
#include <string>

#include "engine/SystemError.h"

// Where a conversion writes a named output: a new file beside it, moved over it only once it is
// whole, so that a failure or a cancel leaves the file that was there as it was. A device named
// as the output (a null device, a printer port) is written straight, as nothing can replace it.
class ReplacingOutput {
public:
    explicit ReplacingOutput(std::string target);
    ~ReplacingOutput();  // removes the file beside the target unless it was committed
    ReplacingOutput(const ReplacingOutput&) = delete;
    ReplacingOutput& operator=(const ReplacingOutput&) = delete;

    // The stream to write, the caller's to close. Null when it could not be made; openError()
    // then says why, as errno after a failed fopen of the target would.
    std::FILE* open();
    SystemError openError() const { return openError_; }
    // After the stream is closed: the written file takes the target's place. False when the
    // move failed (moveFailure() says why); the target is then as it was.
    bool commit();
    // The written file goes; the target stays as it was.
    void discard();
    // The system's reason for a failed commit (engine/WriteFailure.h).
    SystemError moveFailure() const { return moveFailure_; }

private:
    std::string target_;
    std::string written_;   // the file beside the target; empty when written straight or gone
    std::string replaced_;  // the file it replaces: the target, or the file a link names
    SystemError openError_;
    SystemError moveFailure_;
};
