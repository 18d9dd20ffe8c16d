#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"
#include "workers/MonitorCounts.h"

// Two ports a monitor passes bytes between, already open, with their names as the user gave
// them (for failures).
struct MonitorPair {
    WaitablePort* host = nullptr;
    WaitablePort* device = nullptr;
    std::string hostName;
    std::string deviceName;
};

// A monitor's inputs: the pairs (each burst names its pair's index as its interface), the flag
// that stops it, and where the bursts go.
struct MonitorJob {
    std::vector<MonitorPair> pairs;
    const std::atomic<bool>* stop = nullptr;
    // Gets each burst after its bytes were passed on; a failure ends the run with it. The bytes
    // are valid during the call only.
    std::function<Failure(const ConversationBurst&)> sink;
    // Called at least every 100 ms, bursts or not, with a monotonic time in microseconds (e.g. to
    // flush a file); a failure ends the run with it. May be empty.
    std::function<Failure(std::uint64_t steadyMicros)> idle;
    // Gets what a port found worth telling (a program connecting to a served port, or
    // leaving). May be empty.
    std::function<void(const std::string&)> remark;
};

// Passes whatever arrives on either port of a pair to the other, then hands it to the sink as a
// burst: the host's bytes as Direction::Host, the device's as Direction::Device, stamped with the
// wall clock at the start advanced by a monotonic one (times never go back). One thread waits on
// every port of every pair, so bursts keep their true order, across pairs too; each port is written
// by a thread of its own, so a write waiting for room never stops the other direction being read.
// Each way holds up to 16 MiB not yet written; beyond that the reading of that way waits for room
// (back-pressure). Runs until the stop flag is set (seen within about 100 ms; returns no failure),
// a port fails (PortLost naming it; a failed write is the written port's), or the sink or the idle
// call fails (its failure). Every byte read goes to the sink, also one a stop or a failure kept
// from being passed on; after a port failed, what the others hold is read into the sink for up to a
// quarter of a second first. On return, what is still queued is written if that takes at most a
// quarter of a second, and every thread has ended.
// What a port tells of its line (control lines, breaks, settings the program asked for) is
// passed to the other port where it can carry it and goes to the sink as a burst with a
// lineEvent; each burst carries the line state as last seen.
// A pseudo-terminal host side whose program is away holds about 20 KB of the device's bytes;
// beyond that the device's bytes queue until the program reads.
Failure runMonitor(const MonitorJob& job, MonitorCounts& counts);
