#pragma once

// The transport controls' rules, free of any window: which buttons and the slider are enabled in
// which mode. The time display's text is engine/TimeDisplay.h.

// Busy: a worker is opening its port or ending after Stop, so only Stop applies.
enum class TransportMode { Stopped, Recording, Playing, Busy };

struct TransportControls {
    bool record, play, pause, stop, rewind, forward, slider;
};

TransportControls transportControls(TransportMode mode, bool hasFile);
