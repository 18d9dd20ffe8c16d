#include "bench/RespondConversations.h"

#include <algorithm>
#include <map>
#include <random>

#include "conversation/ConversationWriter.h"
#include "tests/support/ModbusRtu.h"

namespace {

using namespace modbus_rtu;

constexpr int kAsked = 300;
constexpr std::uint8_t kUnit = 1;
// The slave's registers that the recording reads: holding 0-59, input 0-29, in blocks of ten.
constexpr int kHoldingSeen = 60, kInputSeen = 30, kBlock = 10;

using Registers = std::map<std::uint16_t, std::uint16_t>;

std::vector<std::uint16_t> valuesOf(const Registers& registers, int first, int count) {
    std::vector<std::uint16_t> values;
    for (int address = first; address < first + count; ++address)
        values.push_back(registers.at(static_cast<std::uint16_t>(address)));
    return values;
}

Registers registersFrom(int count, std::uint16_t base) {
    Registers registers;
    for (int address = 0; address < count; ++address)
        registers[static_cast<std::uint16_t>(address)] = static_cast<std::uint16_t>(base + address);
    return registers;
}

// The learner's answer time for a function: the upper middle of its recorded delays (all of
// them kept, as there are fewer than its sample holds).
std::uint64_t medianOf(std::vector<std::uint64_t> delays) {
    std::sort(delays.begin(), delays.end());
    return delays[delays.size() / 2];
}

Bytes read(std::uint8_t function, int first, int count) {
    return readRegistersQuery(kUnit, function, static_cast<std::uint16_t>(first),
                              static_cast<std::uint16_t>(count));
}

}  // namespace

BenchConversation exactRequests() {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delay(1000, 15000), registers(1, 8), first(0, 40);
    BenchConversation conversation{"recorded", {}, {}, false, {}, "answered_in_order"};
    for (int i = 0; i < kAsked; ++i) {
        const auto start = static_cast<std::uint16_t>(first(random));
        const auto count = static_cast<std::uint16_t>(registers(random));
        std::vector<std::uint16_t> values(count);
        for (std::uint16_t k = 0; k < count; ++k)
            values[k] = static_cast<std::uint16_t>(i * 16 + k);
        conversation.recorded.push_back({readHoldingRegistersQuery(kUnit, start, count),
                                         readHoldingRegistersResponse(kUnit, values),
                                         static_cast<std::uint64_t>(delay(random))});
    }
    conversation.asked = conversation.recorded;
    return conversation;
}

BenchConversation learnedModbusDevice() {
    std::mt19937 random(20261209);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    BenchConversation conversation{"modbus", {}, {}, true, {}, "answered_by_modbus"};
    Registers holding = registersFrom(kHoldingSeen, 1000);
    const Registers input = registersFrom(kInputSeen, 3000);

    // Five rounds of every block read and a write of each kind, the writes giving the values
    // the registers hold already, so that every read of the recording agrees.
    std::map<std::uint8_t, std::vector<std::uint64_t>> delays;
    const auto record = [&](std::uint8_t function, Bytes request, Bytes answer, int lowUs,
                            int highUs) {
        const auto delay = static_cast<std::uint64_t>(between(lowUs, highUs));
        delays[function].push_back(delay);
        conversation.recorded.push_back({std::move(request), std::move(answer), delay});
    };
    for (int round = 0; round < 5; ++round) {
        for (int first = 0; first < kHoldingSeen; first += kBlock)
            record(kReadHoldingRegisters, read(kReadHoldingRegisters, first, kBlock),
                   readRegistersResponse(kUnit, kReadHoldingRegisters,
                                         valuesOf(holding, first, kBlock)),
                   2000, 9000);
        for (int first = 0; first < kInputSeen; first += kBlock)
            record(
                kReadInputRegisters, read(kReadInputRegisters, first, kBlock),
                readRegistersResponse(kUnit, kReadInputRegisters, valuesOf(input, first, kBlock)),
                4000, 12000);
        const auto single = static_cast<std::uint16_t>(round * 7);
        const Bytes write = writeSingleRegister(kUnit, single, holding[single]);
        record(kWriteSingleRegister, write, write, 3000, 6000);
        const auto multiple = static_cast<std::uint16_t>(20 + round * 5);
        record(kWriteMultipleRegisters,
               writeMultipleRegistersQuery(kUnit, multiple, valuesOf(holding, multiple, 4)),
               writeMultipleRegistersResponse(kUnit, multiple, 4), 5000, 10000);
    }
    std::map<std::uint8_t, std::uint64_t> answerTime;
    for (const auto& [function, recorded] : delays) answerTime[function] = medianOf(recorded);

    // Written values are never those recorded, so no write is a recorded request.
    const auto writtenValue = [&] { return static_cast<std::uint16_t>(between(20000, 65535)); };
    std::vector<Exchange>& asked = conversation.asked;
    const auto readBack = [&](int first, int count) {
        asked.push_back(
            {read(kReadHoldingRegisters, first, count),
             readRegistersResponse(kUnit, kReadHoldingRegisters, valuesOf(holding, first, count)),
             answerTime[kReadHoldingRegisters]});
    };
    while (asked.size() < kAsked) {
        const int kind = between(0, 99);
        if (kind < 75) {  // a read within what was seen, but not one of the recorded blocks
            const bool inputs = kind >= 55;
            const std::uint8_t function = inputs ? kReadInputRegisters : kReadHoldingRegisters;
            const int seen = inputs ? kInputSeen : kHoldingSeen;
            const int first = between(0, seen - 1);
            const int count = between(1, std::min(16, seen - first));
            if (first % kBlock == 0 && count == kBlock) continue;
            asked.push_back({read(function, first, count),
                             readRegistersResponse(
                                 kUnit, function, valuesOf(inputs ? input : holding, first, count)),
                             answerTime[function]});
        } else if (kind < 85) {
            const auto address = static_cast<std::uint16_t>(between(0, kHoldingSeen - 1));
            const Bytes write = writeSingleRegister(kUnit, address, writtenValue());
            asked.push_back({write, write, answerTime[kWriteSingleRegister]});
            holding[address] = static_cast<std::uint16_t>(write[4] << 8 | write[5]);
            const int first = std::max(0, address - 2);
            readBack(first, std::min(5, kHoldingSeen - first));
        } else if (kind < 92) {
            const int first = between(0, kHoldingSeen - 4);
            std::vector<std::uint16_t> values(static_cast<std::size_t>(between(1, 4)));
            for (std::uint16_t& value : values) value = writtenValue();
            const auto at = static_cast<std::uint16_t>(first);
            asked.push_back({writeMultipleRegistersQuery(kUnit, at, values),
                             writeMultipleRegistersResponse(
                                 kUnit, at, static_cast<std::uint16_t>(values.size())),
                             answerTime[kWriteMultipleRegisters]});
            for (std::size_t k = 0; k < values.size(); ++k)
                holding[static_cast<std::uint16_t>(at + k)] = values[k];
            readBack(first, static_cast<int>(values.size()));
        } else {  // addresses the recording never saw
            asked.push_back({read(kReadHoldingRegisters, between(100, 199), between(1, 8)),
                             exceptionResponse(kUnit, kReadHoldingRegisters, kIllegalDataAddress),
                             answerTime[kReadHoldingRegisters]});
        }
    }
    return conversation;
}

BenchConversation counterWithCrc() {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delay(1000, 15000), byte(0, 255);
    const auto anyByte = [&] { return static_cast<std::uint8_t>(byte(random)); };
    BenchConversation conversation{"rules",
                                   {},
                                   {},
                                   false,
                                   "when   02 {counter:1} 10 ??{2} crc16-modbus\n"
                                   "answer recorded crc16-modbus\n"
                                   "put    counter at 1\n",
                                   "answered_by_rules"};
    constexpr int kRecorded = 120;  // counters 0x00-0x77; the host counts from 0x80
    for (int i = 0; i < kRecorded; ++i) {
        const auto counter = static_cast<std::uint8_t>(i);
        conversation.recorded.push_back(
            {withCrc({0x02, counter, 0x10, anyByte(), anyByte()}),
             withCrc({0x02, counter, 0x10, anyByte(), anyByte(), anyByte(), anyByte()}),
             static_cast<std::uint64_t>(delay(random))});
    }
    for (int k = 0; k < kAsked; ++k) {
        const auto counter = static_cast<std::uint8_t>(0x80 + k % 128);
        // The recorded answers in their order, then the last again.
        const Exchange& source = conversation.recorded[std::min(k, kRecorded - 1)];
        Bytes answer(source.answer.begin(), source.answer.end() - 2);
        answer[1] = counter;
        conversation.asked.push_back({withCrc({0x02, counter, 0x10, anyByte(), anyByte()}),
                                      withCrc(std::move(answer)), source.delayMicros});
    }
    return conversation;
}

std::vector<std::span<const std::uint8_t>> answerBursts(const Exchange& exchange,
                                                        std::size_t index) {
    const std::span<const std::uint8_t> answer(exchange.answer);
    if (index % 5 != 0 || answer.size() < 2) return {answer};
    const std::size_t split = answer.size() / 2;
    return {answer.first(split), answer.subspan(split)};
}

bool writeConversation(const std::filesystem::path& path, const std::vector<Exchange>& recorded) {
    ConversationWriter writer;
    if (writer.open(path.string(), {"bench", {{"COM1 <-> COM2", "115200 8N1"}}}).happened())
        return false;
    std::uint64_t now = 1'800'000'000'000'000;
    bool written = !writer.write({now, Direction::Device, 0, kGreeting}).happened();
    for (std::size_t i = 0; written && i < recorded.size(); ++i) {
        now += 30'000;
        written = !writer.write({now, Direction::Host, 0, recorded[i].request}).happened();
        std::uint64_t at = now + recorded[i].delayMicros;
        for (const std::span<const std::uint8_t> burst : answerBursts(recorded[i], i)) {
            written = written && !writer.write({at, Direction::Device, 0, burst}).happened();
            at += kBurstGapMicros;
        }
    }
    return !writer.close().happened() && written;
}
