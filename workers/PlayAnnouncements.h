#pragma once

#include "log/LogWriter.h"
#include "workers/SharedState.h"

// What every playing run (a serial file, or a conversation answered or played on schedule) tells
// the window as it starts and ends, said once for all of them.

// The run has started: the window shows it, unless a Stop came while it was opening, which is
// honoured by ending without playing.
inline bool announcePlayStart(SharedState& state, LogWriter& log) {
    state.playing.store(true);
    state.paused.store(false);
    if (state.stopRequested()) {
        log.writeLine("Playing was stopped");
        return false;
    }
    state.notify(WorkerEvent::Started);
    return true;
}

// Called once the port, the file and the log are closed.
inline void announcePlayEnd(SharedState& state) {
    state.playing.store(false);
    state.paused.store(false);
    state.notify(WorkerEvent::Ended);
}
