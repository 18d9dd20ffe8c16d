#include "tests/support/ModbusTestDevice.h"

#include <algorithm>

#include "tests/support/ModbusRtu.h"

namespace {

// A read holding registers query: address, function, first register, count, CRC.
constexpr std::size_t kQueryLength = 8;
constexpr std::uint16_t kMostRegisters = 125;

}  // namespace

bool ModbusTestDevice::start(const std::string& portName, const DeviceSettings& settings,
                             std::string* why) {
    if (!port_.open(portName, settings.speed, settings.dataBits, settings.parity,
                    settings.stopBits)) {
        if (why) *why = "cannot open " + portName + ": " + port_.errorText();
        return false;
    }
    stopping_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ModbusTestDevice::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    port_.close();
}

std::vector<std::vector<std::uint8_t>> ModbusTestDevice::framesReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

void ModbusTestDevice::serve() {
    std::vector<std::uint8_t> pending;
    WaitablePort* const ports[] = {&port_};
    while (!stopping_) {
        const auto states = waitForInput(ports, std::chrono::milliseconds(20));
        if (states[0] == PortInput::Failed) return;
        if (states[0] != PortInput::Ready) continue;
        std::uint8_t buffer[256];
        std::uint32_t got = 0;
        if (!port_.readAvailable(buffer, sizeof buffer, &got)) return;
        pending.insert(pending.end(), buffer, buffer + got);
        answerFrames(pending);
    }
}

void ModbusTestDevice::answerFrames(std::vector<std::uint8_t>& pending) {
    while (pending.size() >= kQueryLength) {
        const std::vector<std::uint8_t> frame(pending.begin(), pending.begin() + kQueryLength);
        if (!modbus_rtu::crcMatches(frame)) {
            // Not a frame's start: a slave that lost its place waits for the next good one.
            pending.erase(pending.begin());
            continue;
        }
        pending.erase(pending.begin(), pending.begin() + kQueryLength);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            frames_.push_back(frame);
        }
        const std::uint16_t first = static_cast<std::uint16_t>(frame[2] << 8 | frame[3]);
        const std::uint16_t count = static_cast<std::uint16_t>(frame[4] << 8 | frame[5]);
        if (frame[0] != options_.unit || frame[1] != modbus_rtu::kReadHoldingRegisters ||
            count == 0 || count > kMostRegisters) {
            continue;
        }
        std::vector<std::uint16_t> values(count);
        for (std::uint16_t k = 0; k < count; ++k)
            values[k] = static_cast<std::uint16_t>(options_.valueBase + first + k);
        const auto answer = modbus_rtu::readHoldingRegistersResponse(options_.unit, values);
        std::this_thread::sleep_for(options_.answerDelay);
        std::uint32_t written = 0;
        if (!port_.write(answer.data(), static_cast<std::uint32_t>(answer.size()), &written))
            return;
        ++answersSent_;
    }
}
