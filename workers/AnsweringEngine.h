#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "conversation/DelayTally.h"
#include "conversation/DeviceStandIn.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"

struct AnsweringOptions {
    std::string portName;  // as the user gave it, for a failure's words
    std::optional<std::uint64_t> durationMicros;
    bool endAtFirstMiss = false;  // a request out of order or unknown ends the run
};

// What a run tells while it runs, on the run's thread.
class AnsweringListener {
public:
    virtual ~AnsweringListener() = default;
    // Looked at at least ten times a second.
    virtual bool stopAsked() = 0;
    virtual void missed(const StandInMiss& miss) = 0;
    // Each answer and refusal, when the stand-in keeps notes of them.
    virtual void answered(const StandInAnswerNote& /*note*/) {}
    // About four times a second.
    virtual void progress(const StandInCounts& counts) = 0;
    // What the port found worth telling (a program connecting to a served port, or leaving).
    virtual void remark(const std::string& /*text*/) {}
    // What the program did to the line (its control lines, a break, a speed it asked for),
    // where the port shows it; a stand-in applies it as asked.
    virtual void lineChanged(const LineEvent& /*event*/) {}
};

struct AnsweringResult {
    enum class End : std::uint8_t { Stopped, DurationReached, Missed, Failed };
    End end = End::Stopped;
    Failure failure;                  // Failed: the port or the file
    std::optional<StandInMiss> miss;  // Missed: the first miss
};

// Answers for the device on the port, on the calling thread, until the listener asks to stop,
// the duration passes, the first miss (when asked) or a failure. One wait watches the port up
// to the next instant something is due; the last stretch before an answer's burst is slept
// precisely, and each answer burst's lateness (its write's start against its due instant) goes
// into `lateness`.
AnsweringResult runAnswering(WaitablePort& port, DeviceStandIn& standIn,
                             const AnsweringOptions& options, AnsweringListener& listener,
                             DelayTally& lateness);
