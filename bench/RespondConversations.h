#pragma once

// The conversations the respond benchmark has veltrane-cli respond stand in for: what the
// recording holds, what the host then asks and expects, and how respond is told to answer.

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "bench/RespondHost.h"

struct BenchConversation {
    const char* name;
    std::vector<Exchange> recorded;  // after the device's greeting
    std::vector<Exchange> asked;     // each with the answer and delay the host expects
    bool modbus = false;             // answered with --modbus
    std::string rules;               // when not empty, answered with --rules and this text
    const char* answeredKey;         // the report's count of the answers of this kind
};

// The recorded requests again, byte for byte, each expecting its recorded answer and delay.
BenchConversation exactRequests();
// A Modbus RTU slave's recorded reads and writes; then reads of ranges never read as such,
// writes with reads of what they wrote, and reads of addresses never seen (exception 02), each
// expected after the learned median answer time of its function.
BenchConversation learnedModbusDevice();
// A binary protocol with a counter and a CRC-16/MODBUS, asked with counters never recorded:
// the recorded answers in order (then the last again) with the counter and the CRC made again.
BenchConversation counterWithCrc();

// The recorded answer's bursts: every fifth answer comes in two, a millisecond apart, as a slow
// device's often do.
std::vector<std::span<const std::uint8_t>> answerBursts(const Exchange& exchange,
                                                        std::size_t index);
inline constexpr std::uint64_t kBurstGapMicros = 1000;

// Writes the greeting, then each exchange 30 ms after the previous one's start.
bool writeConversation(const std::filesystem::path& path, const std::vector<Exchange>& recorded);
