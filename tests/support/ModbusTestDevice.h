#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/DeviceSettings.h"
#include "engine/WaitableSerialPort.h"

// A Modbus RTU slave for tests, on its own thread: answers "read holding registers" requests
// (function 3) addressed to its unit after a delay, with register k holding valueBase + k.
// A frame with a bad CRC, or for another unit, gets nothing. Keeps every frame it got.
class ModbusTestDevice {
public:
    struct Options {
        std::uint8_t unit = 1;
        std::chrono::microseconds answerDelay{2000};
        std::uint16_t valueBase = 100;
    };

    ModbusTestDevice() : ModbusTestDevice(Options{}) {}
    explicit ModbusTestDevice(Options options) : options_(options) {}
    ~ModbusTestDevice() { stop(); }
    ModbusTestDevice(const ModbusTestDevice&) = delete;
    ModbusTestDevice& operator=(const ModbusTestDevice&) = delete;

    // Opens portName with the line settings of settings (its port is not used) and starts
    // answering.
    bool start(const std::string& portName, const DeviceSettings& settings, std::string* why);
    void stop();

    std::vector<std::vector<std::uint8_t>> framesReceived() const;
    std::size_t answersSent() const { return answersSent_.load(); }

private:
    void serve();
    // Takes whole request frames off the front of pending, answering those for this unit.
    void answerFrames(std::vector<std::uint8_t>& pending);

    Options options_;
    WaitableSerialPort port_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> answersSent_{0};
    mutable std::mutex mutex_;
    std::vector<std::vector<std::uint8_t>> frames_;
};
