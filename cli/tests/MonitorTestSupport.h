#pragma once

// What the monitor's command tests share: Modbus polls and their answers, and a conversation
// file read back, each direction's bytes joined.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"
#include "tests/support/ModbusRtu.h"

using Bytes = std::vector<std::uint8_t>;

struct Conversation {
    Bytes host, device;
    std::vector<ConversationBurst> bursts;  // without their bytes
    Failure failure;
};

inline Conversation readConversation(const std::string& path) {
    Conversation read;
    ConversationReader reader;
    read.failure = reader.open(path);
    ConversationBurst burst;
    while (!read.failure.happened() && reader.next(burst)) {
        Bytes& side = burst.direction == Direction::Host ? read.host : read.device;
        side.insert(side.end(), burst.bytes.begin(), burst.bytes.end());
        burst.bytes = {};
        read.bursts.push_back(burst);
    }
    if (!read.failure.happened()) read.failure = reader.failure();
    return read;
}

// Read holding registers polls of unit 1 and what ModbusTestDevice's default answers.
struct ModbusPolls {
    std::vector<Bytes> requests, answers;
    Bytes allRequests() const { return joined(requests); }
    Bytes allAnswers() const { return joined(answers); }
    static Bytes joined(const std::vector<Bytes>& frames) {
        Bytes all;
        for (const Bytes& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
        return all;
    }
};

inline ModbusPolls modbusPolls(std::uint16_t count) {
    ModbusPolls polls;
    for (std::uint16_t poll = 0; poll < count; ++poll) {
        polls.requests.push_back(modbus_rtu::readHoldingRegistersQuery(1, poll, 2));
        polls.answers.push_back(modbus_rtu::readHoldingRegistersResponse(
            1, {static_cast<std::uint16_t>(100 + poll), static_cast<std::uint16_t>(101 + poll)}));
    }
    return polls;
}

class MonitorCliTest : public CliTest {
protected:
    // Until the command has said text on standard error.
    bool waitForError(const std::string& text, milliseconds limit = milliseconds(15000)) {
        for (auto end = TestClock::now() + limit; TestClock::now() < end;) {
            if (errors().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return false;
    }
};
