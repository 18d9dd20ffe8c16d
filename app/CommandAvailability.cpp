#include "app/CommandAvailability.h"

#include <iterator>

namespace {

enum class Needs {
    Idle,          // nothing runs
    IdleWithFile,  // nothing runs, and there is a file to work on
    Playing,
    RunOrBusy,  // also while busy, so that a worker that is slow to open its port can be stopped
};

struct Availability {
    Command command;
    Needs needs;
};

constexpr Availability kAvailability[] = {
    {Command::NewFile, Needs::Idle},        {Command::OpenFile, Needs::Idle},
    {Command::OpenRecentFile, Needs::Idle}, {Command::SaveAs, Needs::IdleWithFile},
    {Command::DeviceSettings, Needs::Idle}, {Command::Logging, Needs::Idle},
    {Command::Import, Needs::Idle},         {Command::Export, Needs::IdleWithFile},
    {Command::Record, Needs::Idle},         {Command::Play, Needs::IdleWithFile},
    {Command::Pause, Needs::Playing},       {Command::Stop, Needs::RunOrBusy},
    {Command::Rewind, Needs::IdleWithFile}, {Command::Forward, Needs::IdleWithFile},
};

// Each command once, in the enumeration's order, so that the table is indexed by it.
constexpr bool tableFollowsEnumeration() {
    for (std::size_t i = 0; i < std::size(kAvailability); ++i) {
        if (static_cast<std::size_t>(kAvailability[i].command) != i) return false;
    }
    return std::size(kAvailability) == static_cast<std::size_t>(Command::Forward) + 1;
}
static_assert(tableFollowsEnumeration(), "one row per command, in the enumeration's order");

}  // namespace

bool transportIdle(const TransportFlags& flags) {
    return !flags.recording && !flags.playing && !flags.busy;
}

bool mayRun(Command command, const TransportFlags& flags) {
    switch (kAvailability[static_cast<std::size_t>(command)].needs) {
        case Needs::Idle:
            return transportIdle(flags);
        case Needs::IdleWithFile:
            return transportIdle(flags) && flags.hasFile;
        case Needs::Playing:
            return flags.playing;
        case Needs::RunOrBusy:
            return flags.recording || flags.playing || flags.busy;
    }
    return false;
}

bool sliderEnabled(const TransportFlags& flags) { return mayRun(Command::Play, flags); }
