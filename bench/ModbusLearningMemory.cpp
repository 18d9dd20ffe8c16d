#include "bench/ModbusLearningMemory.h"

#include <cstdio>

#include "bench/BackgroundProgram.h"
#include "bench/BenchSupport.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ModbusRtu.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kFileSize = 1ull << 30;

// Reads of holding 0-9 and 10-19 and input 0-7 in turn, every value counting up, so each
// address sees far more values than the learner keeps.
bool writeLongModbusConversation(const fs::path& path) {
    using namespace modbus_rtu;
    struct Block {
        std::uint8_t function;
        std::uint16_t first, count;
    };
    constexpr Block kBlocks[] = {{kReadHoldingRegisters, 0, 10},
                                 {kReadHoldingRegisters, 10, 10},
                                 {kReadInputRegisters, 0, 8}};
    ConversationWriter writer;
    if (writer.open(path.string(), {"bench", {{"COM1 <-> COM2", "19200 8N1"}}}).happened())
        return false;
    std::uint64_t now = 1'800'000'000'000'000;
    for (std::uint64_t i = 0;; ++i) {
        const Block& block = kBlocks[i % 3];
        std::vector<std::uint16_t> values(block.count);
        for (std::uint16_t k = 0; k < block.count; ++k)
            values[k] = static_cast<std::uint16_t>(i / 3 + k);
        const auto request = readRegistersQuery(1, block.function, block.first, block.count);
        const auto answer = readRegistersResponse(1, block.function, values);
        now += 20'000;
        bool written = !writer.write({now, Direction::Host, 0, request}).happened();
        written =
            written &&
            !writer.write({now + 3000 + i % 7 * 500, Direction::Device, 0, answer}).happened();
        if (!written) return false;
        if (i % 100'000 == 0 && fs::file_size(path) >= kFileSize) break;
    }
    return !writer.close().happened();
}

}  // namespace

void measureModbusLearning(const std::string& cli, const fs::path& folder) {
    const fs::path recording = folder / "long-modbus.pcapng";
    const auto writing = BenchClock::now();
    if (!writeLongModbusConversation(recording)) {
        std::printf("cannot write %s\n", recording.c_str());
        return;
    }
    std::printf("a Modbus RTU conversation of %.2f GiB written in %.1f s\n",
                static_cast<double>(fs::file_size(recording)) / (1 << 30),
                std::chrono::duration<double>(BenchClock::now() - writing).count());
    BackgroundProgram info;
    const auto start = BenchClock::now();
    if (!info.start({cli, "info", recording.string(), "--modbus"})) {
        std::printf("veltrane-cli info could not start\n");
    } else {
        const BackgroundProgram::Ending ending = info.waitForEnd();
        std::printf("veltrane-cli info --modbus: exit %d, %.1f s, peak resident memory %.1f MiB\n",
                    ending.status, std::chrono::duration<double>(BenchClock::now() - start).count(),
                    ending.peakMemoryMiB);
    }
    std::error_code ignored;
    fs::remove(recording, ignored);
}
