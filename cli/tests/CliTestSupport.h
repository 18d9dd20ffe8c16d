#pragma once

// Runs the built veltrane-cli against the program's end of a serial pair, with the test playing
// the device at the other end (the workers' fixture).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "conversation/ConversationWriter.h"
#include "tests/support/ChildProcess.h"
#include "workers/tests/WorkerTestSupport.h"

class CliTest : public WorkerTest {
protected:
    void startCli(const std::vector<std::string>& words) {
        std::string why;
        ASSERT_TRUE(
            cli_.start(VELTRANE_CLI_PATH, words, dir_.file("out.txt"), dir_.file("err.txt"), &why))
            << why;
    }
    // Runs it to its end and returns its exit status, -1 when it did not end within the limit.
    int runCli(const std::vector<std::string>& words, milliseconds limit = milliseconds(20000)) {
        startCli(words);
        return exitStatus(limit);
    }
    int exitStatus(milliseconds limit = milliseconds(20000)) {
        return cli_.wait(limit).value_or(-1);
    }
    std::string text(const std::string& name) const {
        const auto bytes = readWholeFile(dir_.file(name));
        return std::string(bytes.begin(), bytes.end());
    }
    std::string output() const { return text("out.txt"); }
    std::string errors() const { return text("err.txt"); }
    // Until the recording has started, which the command says on standard error.
    bool waitForRecording(milliseconds limit = milliseconds(15000)) {
        for (auto end = TestClock::now() + limit; TestClock::now() < end;) {
            if (errors().find("recording") != std::string::npos) return true;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return false;
    }
    // The port words for the program's end of the pair at the pair's speed.
    std::vector<std::string> portWords() const {
        return {"--port", pair_.portName(), "-b", "115200"};
    }

    ChildProcess cli_;
};

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

// A burst of a conversation for a test: when (from its start), who, what.
struct SaidBurst {
    std::uint64_t micros;
    Direction direction;
    std::vector<std::uint8_t> bytes;
};

inline ::testing::AssertionResult writeConversationFile(const std::string& path,
                                                        const std::vector<SaidBurst>& said) {
    ConversationWriter writer;
    Failure failure = writer.open(path, {"test", {{"a <-> b", "115200 8N1"}}});
    for (std::size_t at = 0; at < said.size() && !failure.happened(); ++at)
        failure = writer.write(
            {1'700'000'000'000'000 + said[at].micros, said[at].direction, 0, said[at].bytes});
    if (const Failure closed = writer.close(); !failure.happened()) failure = closed;
    if (!failure.happened()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << failure.reason();
}

// A second device for a test of two ports: a serial pair of its own, the test at its far end.
class SecondDevice {
public:
    ::testing::AssertionResult start() {
        std::string why;
        if (!pair_.start(&why)) return ::testing::AssertionFailure() << why;
        if (!openFarEnd(port_, pair_)) return ::testing::AssertionFailure() << port_.errorText();
        return ::testing::AssertionSuccess();
    }
    // The name the command opens.
    std::string portName() const { return pair_.portName(); }
    bool send(const std::string& text) {
        std::uint32_t written = 0;
        return port_.write(text.data(), static_cast<std::uint32_t>(text.size()), &written) &&
               written == text.size();
    }
    // Up to `count` bytes (at most 64), within 10 s.
    std::string receive(std::size_t count) {
        SerialTimeouts wait{kSerialTimeoutMax, kSerialTimeoutMax, 10000, 0, 0};
        port_.setTimeouts(&wait);
        std::string got;
        char buffer[64];
        count = std::min(count, sizeof buffer);
        std::uint32_t read = 0;
        // Asking for no more than is due: a Windows read waits until its buffer is full.
        while (got.size() < count &&
               port_.read(buffer, static_cast<std::uint32_t>(count - got.size()), &read) &&
               read > 0)
            got.append(buffer, read);
        return got;
    }

private:
    SerialPair pair_;
    SerialPort port_;
};
