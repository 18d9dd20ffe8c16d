#pragma once

// The transport controls' states, free of any window: which buttons and the slider are enabled in
// which mode, as the availability rule (CommandAvailability) has it. The time display's text is
// engine/TimeDisplay.h.

// Busy: a worker is opening its port or ending after Stop, so only Stop applies.
enum class TransportMode { Stopped, Recording, Playing, Busy };

struct TransportControls {
    bool record, play, pause, stop, rewind, forward, slider;
};

TransportControls transportControls(TransportMode mode, bool hasFile);
