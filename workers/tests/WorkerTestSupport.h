#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "tests/support/Recorders.h"
#include "tests/support/SerialDrain.h"
#include "tests/support/SerialPair.h"
#include "tests/support/TempDir.h"
#include "workers/SharedState.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"

using TestClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline long long msBetween(TestClock::time_point from, TestClock::time_point to) {
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

// Keeps the worker-state codes and lets a test wait for one.
class RecordingListener : public WorkerStateListener {
public:
    void workerStateChanged(WorkerEvent code, std::uint32_t runNumber) override {
        std::lock_guard lock(mutex_);
        codes_.push_back(code);
        runNumbers_.push_back(runNumber);
        times_.push_back(TestClock::now());
        changed_.notify_all();
    }
    bool waitFor(WorkerEvent code, milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            for (WorkerEvent seen : codes_)
                if (seen == code) return true;
            return false;
        });
    }
    std::vector<WorkerEvent> codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    TestClock::time_point timeOf(WorkerEvent code) const {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < codes_.size(); ++i)
            if (codes_[i] == code) return times_[i];
        return {};
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<WorkerEvent> codes_;
    std::vector<std::uint32_t> runNumbers_;
    std::vector<TestClock::time_point> times_;
};

// Opens the test's own end of a serial pair, at the speed and framing every test device uses.
inline bool openFarEnd(SerialPort& port, const SerialPair& pair) {
    return port.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None,
                     StopBits::One);
}

struct Arrival {
    TestClock::time_point time;
    std::vector<std::uint8_t> bytes;
};

// A worker with its window-side state, logging on into a temporary folder, and a device at the
// far end of a serial pair.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(pair_.start(&why)) << why;
        job_.device.port = pair_.portName();
        job_.device.speed = 115200;
        job_.log.loggingOn = true;
        job_.log.logFile = logPath();
        ASSERT_TRUE(openFarEnd(device_, pair_)) << device_.errorText();
        drainSerialPort(device_);
    }

    std::string logPath() const { return dir_.file("serial.log"); }
    std::string logText() const {
        auto bytes = readWholeFile(logPath());
        return std::string(bytes.begin(), bytes.end());
    }

    bool sendFromDevice(const std::vector<std::uint8_t>& bytes) {
        std::uint32_t written = 0;
        return device_.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
               written == bytes.size();
    }

    // Reads at the device until `wanted` bytes came or `limit` passed, noting when each read
    // returned bytes.
    std::vector<Arrival> receiveAtDevice(std::size_t wanted, milliseconds limit) {
        SerialTimeouts timeouts{kSerialTimeoutMax, kSerialTimeoutMax, 20, 0, 0};
        device_.setTimeouts(&timeouts);
        std::vector<Arrival> arrivals;
        std::size_t total = 0;
        auto end = TestClock::now() + limit;
        std::uint8_t buffer[255];
        while (total < wanted && TestClock::now() < end) {
            std::uint32_t count = 0;
            if (!device_.read(buffer, sizeof buffer, &count)) break;
            if (count == 0) continue;
            arrivals.push_back({TestClock::now(), {buffer, buffer + count}});
            total += count;
        }
        return arrivals;
    }

    // Reads at the device until nothing has come for `quiet` (or `limit` passed): what a far end
    // that held the bytes up receives once it reads again. Leaves the pair empty for the next test.
    std::vector<std::uint8_t> drainDevice(milliseconds quiet = milliseconds(500),
                                          milliseconds limit = milliseconds(30000)) {
        SerialTimeouts timeouts{kSerialTimeoutMax, kSerialTimeoutMax, 50, 0, 0};
        device_.setTimeouts(&timeouts);
        std::vector<std::uint8_t> all;
        std::uint8_t buffer[4096];
        const auto end = TestClock::now() + limit;
        auto lastBytes = TestClock::now();
        while (TestClock::now() < end && TestClock::now() - lastBytes < quiet) {
            std::uint32_t count = 0;
            if (!device_.read(buffer, sizeof buffer, &count)) break;
            if (count == 0) continue;
            all.insert(all.end(), buffer, buffer + count);
            lastBytes = TestClock::now();
        }
        return all;
    }

    static std::vector<std::uint8_t> joined(const std::vector<Arrival>& arrivals) {
        std::vector<std::uint8_t> all;
        for (const auto& arrival : arrivals)
            all.insert(all.end(), arrival.bytes.begin(), arrival.bytes.end());
        return all;
    }

    TempDir dir_;
    SerialPair pair_;
    SerialPort device_;
    RecordingTraceSink sink_;
    DebugTrace trace_{sink_};
    WorkerJob job_;
    RecordingListener listener_;
    SharedState state_{listener_};
    WorkerRunner runner_{state_, trace_};  // last: it stops and awaits the worker first
};

struct ChunkSpec {
    std::uint32_t timeOffset;
    std::vector<std::uint8_t> data;
};

inline bool writeSerialFile(const std::string& path, const std::vector<ChunkSpec>& chunks) {
    SerialFileWriter writer;
    if (!writer.open(path)) return false;
    for (const auto& chunk : chunks)
        writer.writeChunk(chunk.timeOffset, chunk.data.data(),
                          static_cast<std::uint8_t>(chunk.data.size()));
    return writer.close();
}

inline std::vector<Chunk> readSerialFile(const std::string& path) {
    std::vector<Chunk> chunks;
    SerialFileReader file;
    if (!file.open(path)) return chunks;
    ChunkReader reader(file, kPlaybackResyncStep);
    Chunk chunk;
    while (reader.next(chunk)) chunks.push_back(chunk);
    return chunks;
}
