#include "app/TransportRules.h"

#include "app/CommandAvailability.h"

TransportControls transportControls(TransportMode mode, bool hasFile) {
    const TransportFlags flags{mode == TransportMode::Recording, mode == TransportMode::Playing,
                               hasFile, mode == TransportMode::Busy};
    return {mayRun(Command::Record, flags),
            mayRun(Command::Play, flags),
            mayRun(Command::Pause, flags),
            mayRun(Command::Stop, flags),
            mayRun(Command::Rewind, flags),
            mayRun(Command::Forward, flags),
            sliderEnabled(flags)};
}
