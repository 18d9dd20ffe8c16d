#pragma once

// The one rule for what may run, free of any window: for each command, whether it may run in the
// window's present state. The menus and keys (CommandRules) and the transport buttons
// (TransportRules) both read it, so that they cannot disagree.

struct TransportFlags {
    bool recording = false;
    bool playing = false;
    bool hasFile = false;  // a current file is set
    // The worker's thread still runs while neither flag is set: it is opening its port and file,
    // or it was asked to stop and has not ended yet. No other run may start meanwhile.
    bool busy = false;
};

enum class Command {
    NewFile,
    OpenFile,
    OpenRecentFile,
    SaveAs,
    DeviceSettings,
    Logging,
    Import,
    Export,
    Record,
    Play,
    Pause,
    Stop,
    Rewind,
    Forward,
};

// Neither recording nor playing nor busy: a run or a file command may start.
bool transportIdle(const TransportFlags& flags);

bool mayRun(Command command, const TransportFlags& flags);

// The position slider seeks in the current file: as Play, only while nothing runs and a file is
// set.
bool sliderEnabled(const TransportFlags& flags);
