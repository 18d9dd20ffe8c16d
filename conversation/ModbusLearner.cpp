#include "conversation/ModbusLearner.h"

#include <algorithm>

#include "conversation/ConversationReader.h"
#include "conversation/ModbusMessages.h"

namespace {

// A request or answer past the longest frame is no frame: one byte more than that says so, and
// keeps a long burst from growing what is held.
void appendCapped(std::vector<std::uint8_t>& held, std::span<const std::uint8_t> bytes) {
    const std::size_t room =
        kMaxModbusFrameBytes + 1 - std::min(held.size(), kMaxModbusFrameBytes + 1);
    held.insert(held.end(), bytes.begin(), bytes.begin() + std::min(room, bytes.size()));
}

// Whether a request of a function with a table has the length that function gives it.
bool ofItsShape(const ModbusFrame& request) {
    if (!tableOfFunction(request.function)) return true;
    const std::vector<std::uint8_t>& data = request.data;
    if (request.function <= 6) return data.size() == 4;
    return data.size() >= 5 && data.size() == 5 + std::size_t{data[4]};
}

}  // namespace

void ModbusLearner::DelaySample::add(std::uint64_t micros) {
    if (seen++ % stride != 0) return;
    kept.push_back(micros);
    if (kept.size() < kDelaySample) return;
    for (std::size_t i = 0; i < kept.size() / 2; ++i) kept[i] = kept[2 * i];
    kept.resize(kept.size() / 2);
    stride *= 2;
}

std::uint64_t ModbusLearner::DelaySample::median() const {
    std::vector<std::uint64_t> sorted = kept;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

void ModbusLearner::add(const ConversationBurst& burst) {
    if (burst.direction == Direction::Host) {
        if (answering_) learnExchange();
        splitter_.add(burst);
        appendCapped(request_, burst.bytes);
        return;
    }
    if (const auto exchange = splitter_.add(burst)) {
        answering_ = true;
        answerDelay_ = exchange->answerDelayMicros;
    }
    // The device's bursts before the first request belong to no exchange.
    if (answering_) appendCapped(answer_, burst.bytes);
}

ModbusModel ModbusLearner::finish() {
    // A last request the file ends before the device answered teaches nothing.
    if (answering_) learnExchange();
    splitter_.finish();
    request_.clear();
    const std::size_t winner = readings_[1].goodFrames > readings_[0].goodFrames ? 1 : 0;
    ModbusModel model = std::move(readings_[winner].model);
    model.framing = static_cast<ModbusFraming>(winner);
    for (const auto& [key, sample] : delays_[winner])
        model.units[key.first].delayMicros[key.second] = sample.median();
    readings_ = {};
    delays_ = {};
    return model;
}

void ModbusLearner::learnExchange() {
    learn(ModbusFraming::Rtu);
    learn(ModbusFraming::Ascii);
    request_.clear();
    answer_.clear();
    answerDelay_.reset();
    answering_ = false;
}

void ModbusLearner::learn(ModbusFraming framing) {
    Reading& reading = readings_[static_cast<std::size_t>(framing)];
    auto& delays = delays_[static_cast<std::size_t>(framing)];
    const DecodedFrame request = decodeModbusFrame(framing, request_);
    const DecodedFrame answer = decodeModbusFrame(framing, answer_);
    const bool requestGood = request.kind == DecodedFrame::Kind::Good;
    const bool answerGood = answer.kind == DecodedFrame::Kind::Good;
    reading.goodFrames += std::uint64_t{requestGood} + std::uint64_t{answerGood};
    if (!requestGood || !answerGood) return;
    const ModbusFrame& asked = request.frame;
    const ModbusFrame& answered = answer.frame;
    if (asked.unit < kFirstModbusUnit || asked.unit > kLastModbusUnit ||
        answered.unit != asked.unit || (answered.function & 0x7F) != asked.function)
        return;

    // Another protocol may end its frames in the same CRC: a request and its answer are taken
    // for Modbus only when both have the shapes their function gives them.
    const bool exception = (answered.function & 0x80) != 0;
    if (!ofItsShape(asked) || (exception && answered.data.size() != 1)) return;
    const auto access = readModbusRequest(asked);
    std::optional<std::vector<std::uint16_t>> values;
    if (access && !exception) {
        values = access->write ? (answersWrite(asked, answered) ? std::optional(access->values)
                                                                : std::nullopt)
                               : readAnswerValues(*access, answered);
        if (!values) return;
    }

    ModbusUnit& unit = reading.model.units[asked.unit];
    if (answerDelay_) delays[{asked.unit, asked.function}].add(*answerDelay_);
    if (exception) {
        // Any exception but "illegal function" says the unit has the function.
        if (answered.data != std::vector<std::uint8_t>{kIllegalFunction})
            unit.functions.set(asked.function);
        return;
    }
    unit.functions.set(asked.function);
    if (!values || !access->withinAddresses()) return;
    for (std::size_t i = 0; i < values->size(); ++i) {
        const auto address = static_cast<std::uint16_t>(access->address + i);
        appendValue(reading.model.values[{asked.unit, access->table, address}], (*values)[i]);
    }
}

std::optional<ModbusModel> learnModbusDevice(const std::string& path, Failure* failure) {
    ConversationReader reader;
    *failure = reader.open(path);
    if (failure->happened()) return std::nullopt;
    ModbusLearner learner;
    ConversationBurst burst;
    while (reader.next(burst)) learner.add(burst);
    *failure = reader.failure();
    if (failure->happened()) return std::nullopt;
    return learner.finish();
}
