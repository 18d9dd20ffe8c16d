#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "network/TcpSocket.h"
#include "tests/support/SerialPair.h"
#include "workers/ReconnectingPort.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

DeviceSettings settingsFor(const std::string& port) {
    return {port, 115200, 8, Parity::None, StopBits::One};
}

// Waits (up to 10 s) until the condition holds.
template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

bool openDevice(WaitableSerialPort& device, const SerialPair& pair) {
    return device.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None,
                       StopBits::One);
}

bool sendText(WaitableSerialPort& device, const std::string& text) {
    std::uint32_t written = 0;
    return device.write(text.data(), static_cast<std::uint32_t>(text.size()), &written) &&
           written == text.size();
}

// Reads the port as a run does, bytes before line events, into one text where each DataLost
// event is a '#'.
class TimelineReader {
public:
    explicit TimelineReader(ReconnectingPort& port) : port_(port), thread_([this] { run(); }) {}
    ~TimelineReader() {
        stop_ = true;
        thread_.join();
    }
    std::string text() {
        std::lock_guard lock(mutex_);
        return text_;
    }
    std::vector<std::uint64_t> awayMicros() {
        std::lock_guard lock(mutex_);
        return awayMicros_;
    }
    std::vector<std::string> remarks() {
        std::lock_guard lock(mutex_);
        return remarks_;
    }
    bool failed() const { return failed_; }

private:
    void run() {
        WaitablePort* ports[1] = {&port_};
        while (!stop_) {
            const PortInput input = waitForInput(ports, 20ms)[0];
            char buffer[512];
            std::uint32_t got = 0;
            if (input == PortInput::Failed ||
                (input == PortInput::Ready && !port_.readAvailable(buffer, sizeof buffer, &got)))
                failed_ = true;
            std::lock_guard lock(mutex_);
            text_.append(buffer, got);
            for (const LineEvent& event : port_.takeLineEvents()) {
                if (event.kind != LineEventKind::DataLost) continue;
                text_ += '#';
                awayMicros_.push_back(event.awayMicros);
            }
            for (std::string& remark : port_.takeRemarks()) remarks_.push_back(std::move(remark));
        }
    }

    ReconnectingPort& port_;
    std::mutex mutex_;
    std::string text_;
    std::vector<std::uint64_t> awayMicros_;
    std::vector<std::string> remarks_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::uint64_t microsBetween(Clock::time_point from, Clock::time_point to) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(to - from).count());
}

class ReconnectingPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(pair_.start(&why)) << why;
        ASSERT_TRUE(openDevice(device_, pair_)) << device_.errorText();
        OpenedPort opened;
        const Failure failure = openDeviceSidePort(settingsFor(pair_.portName()), &opened);
        ASSERT_FALSE(failure.happened()) << failure.reason();
        port_ = std::make_unique<ReconnectingPort>(settingsFor(pair_.portName()),
                                                   std::move(opened.port));
    }

    // Reads what the device got until it has something, or 10 s have passed.
    std::size_t deviceTakes() {
        WaitablePort* ports[1] = {&device_};
        std::size_t total = 0;
        for (int i = 0; i < 100 && total == 0; ++i) {
            if (waitForInput(ports, 100ms)[0] != PortInput::Ready) continue;
            char buffer[4096];
            std::uint32_t got = 0;
            while (device_.readAvailable(buffer, sizeof buffer, &got) && got > 0) total += got;
        }
        return total;
    }

    SerialPair pair_;
    WaitableSerialPort device_;
    std::unique_ptr<ReconnectingPort> port_;
};

}  // namespace

// The device sends while the port is there and again right after it is back, before the port
// has been reopened: every byte arrives, the gap's event comes between them, and nothing comes
// while away. Another thread writes all along: while away its bytes are dropped and counted.
TEST_F(ReconnectingPortTest, AwayAndBackSeveralTimesLosesNothingSentWhileThere) {
    std::atomic<bool> writing{true};
    std::atomic<bool> writeRefused{false};
    std::thread writer([&] {
        const char block[16] = "host says hello";
        while (writing) {
            std::uint32_t written = 0;
            if (!port_->writeWithin(block, sizeof block, &written, 100ms) || written > sizeof block)
                writeRefused = true;
            std::this_thread::sleep_for(5ms);
        }
    });
    TimelineReader reader(*port_);
    std::string expected;
    for (int round = 0; round < 3; ++round) {
        const std::string there =
            "there" + std::to_string(round) + ":" + std::string(200, 'a' + round);
        ASSERT_TRUE(sendText(device_, there));
        expected += there;
        ASSERT_TRUE(eventually([&] { return reader.text() == expected; })) << reader.text();
        EXPECT_GT(deviceTakes(), 0u) << "the writing thread's bytes reach the device";

        const Clock::time_point takenAway = Clock::now();
        device_.close();
        ASSERT_TRUE(pair_.takeAway());
        ASSERT_TRUE(eventually([&] { return reader.remarks().size() == 2u * round + 1; }));
        const Clock::time_point seenAway = Clock::now();
        EXPECT_NE(reader.remarks().back().find("went away"), std::string::npos);
        const std::uint64_t droppedBefore = port_->droppedBytes();
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(reader.text(), expected) << "nothing arrives while away";
        EXPECT_GT(port_->droppedBytes(), droppedBefore);

        const Clock::time_point broughtBack = Clock::now();
        std::string why;
        ASSERT_TRUE(pair_.bringBack(&why)) << why;
        ASSERT_TRUE(openDevice(device_, pair_)) << device_.errorText();
        const std::string back = "back" + std::to_string(round);
        ASSERT_TRUE(sendText(device_, back));
        expected += "#" + back;
        ASSERT_TRUE(eventually([&] { return endsWith(reader.text(), back); })) << reader.text();
        const Clock::time_point seenBack = Clock::now();
        EXPECT_EQ(reader.text(), expected);
        ASSERT_EQ(reader.awayMicros().size(), round + 1u);
        const std::uint64_t away = reader.awayMicros().back();
        EXPECT_GE(away, microsBetween(seenAway, broughtBack));
        EXPECT_LE(away, microsBetween(takenAway, seenBack));
        ASSERT_TRUE(eventually([&] { return reader.remarks().size() == 2u * round + 2; }));
        EXPECT_NE(reader.remarks().back().find(pair_.portName() + " is back after"),
                  std::string::npos)
            << reader.remarks().back();
    }
    EXPECT_GT(deviceTakes(), 0u) << "writes reach the device once it is back";
    writing = false;
    writer.join();
    EXPECT_FALSE(writeRefused) << "a write while away is taken as written";
    EXPECT_FALSE(reader.failed());
}

// While the port is away, the reading thread still serves another port and ends at its stop
// flag, however long its waits are.
TEST_F(ReconnectingPortTest, WhileAwayTheWaitServesOtherPortsAndSeesAStop) {
    SerialPair other;
    std::string why;
    ASSERT_TRUE(other.start(&why)) << why;
    WaitableSerialPort otherHost;
    WaitableSerialPort otherDevice;
    ASSERT_TRUE(otherHost.open(SerialPort::devicePath(other.portName()), 115200, 8, Parity::None,
                               StopBits::One));
    ASSERT_TRUE(openDevice(otherDevice, other));

    device_.close();
    ASSERT_TRUE(pair_.takeAway());
    WaitablePort* alone[1] = {port_.get()};
    ASSERT_TRUE(eventually([&] {
        waitForInput(alone, 20ms);
        return port_->isAway();
    }));
    const WaitablePort::WaitStart start = port_->startWait();
    EXPECT_EQ(start.known, PortInput::None);
    EXPECT_GE(start.lookAgainWithin.count(), 0);
    EXPECT_LE(start.lookAgainWithin, ReconnectingPort::kLookAgainEvery);
    std::uint32_t got = 99;
    char buffer[64];
    EXPECT_TRUE(port_->readAvailable(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
    const std::uint64_t dropped = port_->droppedBytes();
    std::uint32_t written = 0;
    EXPECT_TRUE(port_->write("gone", 4, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(port_->droppedBytes(), dropped + 4);

    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::mutex mutex;
    std::string otherText;
    std::thread run([&] {
        WaitablePort* ports[2] = {port_.get(), &otherHost};
        while (!stop) {
            const auto states = waitForInput(ports, 60s);
            std::uint32_t count = 0;
            if (states[1] == PortInput::Ready &&
                otherHost.readAvailable(buffer, sizeof buffer, &count)) {
                std::lock_guard lock(mutex);
                otherText.append(buffer, count);
            }
        }
        ended = true;
    });
    EXPECT_TRUE(sendText(otherDevice, "still here"));
    EXPECT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return otherText == "still here";
    }));
    stop = true;
    EXPECT_TRUE(eventually([&] { return ended.load(); })) << "the stop waits for a 60 s wait";
    run.join();
}

// A device server that restarts (its connection and its listening port gone for a while) is
// connected to again at the same address, and the gap is told between what came before and after.
TEST(ReconnectingDeviceServerTest, ConnectsAgainOnceTheServerListensAgain) {
    TcpSocket listener;
    ASSERT_TRUE(listener.listen("127.0.0.1", 0)) << listener.errorText();
    const std::uint16_t port = listener.localPort();
    const DeviceSettings settings = settingsFor("tcp://127.0.0.1:" + std::to_string(port));
    OpenedPort opened;
    const Failure failure = openDeviceSidePort(settings, &opened);
    ASSERT_FALSE(failure.happened()) << failure.reason();
    ReconnectingPort reconnecting(settings, std::move(opened.port));

    const auto acceptOne = [&](TcpSocket* connection) {
        bool taken = false;
        return eventually([&] {
            if (!taken) taken = listener.accept(connection) == TcpSocket::Io::Done;
            return taken;
        });
    };
    const auto sendFrom = [](TcpSocket& connection, const std::string& text) {
        std::uint32_t sent = 0;
        return connection.send(text.data(), static_cast<std::uint32_t>(text.size()), &sent) ==
                   TcpSocket::Io::Done &&
               sent == text.size();
    };
    TcpSocket connection;
    ASSERT_TRUE(acceptOne(&connection));
    TimelineReader reader(reconnecting);
    ASSERT_TRUE(sendFrom(connection, "before"));
    ASSERT_TRUE(eventually([&] { return reader.text() == "before"; })) << reader.text();

    connection.close();
    listener.close();
    ASSERT_TRUE(eventually([&] { return !reader.remarks().empty(); }));
    EXPECT_NE(reader.remarks().front().find("went away"), std::string::npos);
    std::this_thread::sleep_for(3 * ReconnectingPort::kLookAgainEvery);  // a few failed tries

    ASSERT_TRUE(listener.listen("127.0.0.1", port)) << listener.errorText();
    ASSERT_TRUE(acceptOne(&connection));
    ASSERT_TRUE(sendFrom(connection, "after"));
    ASSERT_TRUE(eventually([&] { return endsWith(reader.text(), "after"); })) << reader.text();
    EXPECT_EQ(reader.text(), "before#after");
    EXPECT_EQ(reader.awayMicros().size(), 1u);
    EXPECT_FALSE(reader.failed());
}
