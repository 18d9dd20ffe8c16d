#pragma once

#include <cstdint>
#include <string>

#include "engine/DeviceSettings.h"
#include "log/LogSettings.h"

class ChunkTimingObserver;

// What one run of a worker works on, read by the front end when the run starts and handed over
// by value: the worker never reads a setting or a path that the front end may change meanwhile.
struct WorkerJob {
    std::string filePath;  // the serial file to play, or to record into
    DeviceSettings device;
    LogSettings log;
    std::uint32_t startPosition = 0;  // playback: tenths of a second; 0 plays from the start
    double speed = 1.0;  // playback: a factor on the recorded timing, > 0; 2 plays twice as fast
    ChunkTimingObserver* chunkTiming = nullptr;  // playback: told of each chunk's write, or none
    // Monitoring: the device's port (device's line settings, this port); `device` is then the
    // host's side. `application` names the program in the conversation file it writes.
    std::string devicePort;
    std::string application;
    // Answering: a recording whose requests are Modbus also answers, as the device learned from
    // it, the requests it holds none of.
    bool answerWithModbus = true;
    // A conversation of several ports (interfaces): the one that plays, or that is answered.
    std::uint32_t interfaceIndex = 0;
    // Recording and playback of a serial file, and monitoring: a port that goes away (an
    // adapter unplugged) is waited for and reopened, instead of ending the run. The gap is time
    // without chunks in a recording (in a conversation, a data-lost event); a playback drops
    // what fell due meanwhile. The run's log tells both.
    bool reconnect = false;
};
