#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "conversation/Exchanges.h"
#include "conversation/ModbusModel.h"
#include "engine/Failure.h"

// Learns a Modbus slave from a conversation, its bursts fed once in file order and cut into
// requests and answers as ExchangeSplitter cuts them. Every exchange is read both as RTU and as
// ASCII; the framing with more well-formed frames wins. A unit is learned when it answered a
// request (normally or with an exception); its functions are those of the requests it answered,
// less those it refused as illegal (exception 01). Reads (1 to 4) with their normal answers and
// writes (5, 6, 15, 16) answered normally give the values of their places, in recorded order:
// at most kMaxValuesPerPlace a place, the first ones and the last (ModbusModel.h).
// Each unit and function keeps its answer time: the median of an evenly thinned sample of at most
// kDelaySample delays. Memory follows the units, functions and places, never the file's length.
class ModbusLearner {
public:
    static constexpr std::size_t kDelaySample = 64;

    void add(const ConversationBurst& burst);
    // The model of the framing that won (RTU when neither found a frame).
    ModbusModel finish();

private:
    // What one framing learned.
    struct Reading {
        ModbusModel model;
        std::uint64_t goodFrames = 0;
    };
    // Delays of one unit and function: every stride-th is kept, the stride doubling whenever
    // the sample is full, so the sample spans the whole recording.
    struct DelaySample {
        std::vector<std::uint64_t> kept;
        std::uint64_t seen = 0;
        std::uint64_t stride = 1;
        void add(std::uint64_t micros);
        std::uint64_t median() const;
    };

    void learnExchange();
    void learn(ModbusFraming framing);

    ExchangeSplitter splitter_;
    // The exchange being gathered: its request's bytes, its answer's so far, the answer's delay.
    std::vector<std::uint8_t> request_, answer_;
    std::optional<std::uint64_t> answerDelay_;
    bool answering_ = false;
    std::array<Reading, 2> readings_;  // by ModbusFraming
    std::array<std::map<std::pair<std::uint8_t, std::uint8_t>, DelaySample>, 2> delays_;
};

// The model a conversation file teaches, read once; nothing when the file cannot be opened or
// read, with what failed in *failure.
std::optional<ModbusModel> learnModbusDevice(const std::string& path, Failure* failure);
