#pragma once

#include <cstdint>
#include <string>

// Why a run could not use its port or lost it: at the start the port would not open or refused
// the run's timeouts; during a recording a read failed (the device went away). `port` is the
// name the user chose, `reason` the port's own text without a line end.
struct PortFailure {
    enum class Kind : std::uint8_t { None, Open, Timeouts, Lost };
    Kind kind = Kind::None;
    std::string port;
    std::string reason;
};

// One sentence naming the port and the reason, for a front end without a window.
std::string portFailureSentence(const PortFailure& failure);
