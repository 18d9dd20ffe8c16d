// The conversation commands against a far side that reads nothing (a rig that forgot to read its
// port, flow control held): a stop, a hang-up or --duration still ends them at once, with their
// report written.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Far more than a serial pair holds while nobody reads (natively some hundred KiB, under Wine
// 32 KiB): 2 MiB, in bursts so long that one write alone fills the pair. (A pseudo-terminal may
// take a few bytes more after a signal than its wait for room said: between short bursts that
// would let a stop be seen by chance.)
constexpr std::size_t kBurstBytes = 256 * 1024;
constexpr std::size_t kBursts = 8;
constexpr std::uint64_t kStart = 1'700'000'000'000'000;
// How long a command may take to end after it was asked to: far less than "never", far more
// than a slow machine needs.
constexpr long long kEndsWithinMs = 3000;

Bytes burstBytes(std::size_t index) {
    Bytes bytes(kBurstBytes);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(index * 7 + i * 13);
    return bytes;
}

class HeldUpWriteTest : public CliTest {
protected:
    // `request` from the host, then 2 MiB from the device, all due at once; or, with
    // longRequest, 2 MiB of request and a short answer.
    void writeConversation(bool longRequest) {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file_, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        const Direction bulk = longRequest ? Direction::Host : Direction::Device;
        if (!longRequest) {
            ASSERT_FALSE(writer.write({kStart, Direction::Host, 0, request_}).happened());
        }
        for (std::size_t i = 0; i < kBursts; ++i)
            ASSERT_FALSE(writer.write({kStart + 1000, bulk, 0, burstBytes(i)}).happened());
        if (longRequest) {
            ASSERT_FALSE(writer.write({kStart + 2000, Direction::Device, 0, request_}).happened());
        }
        ASSERT_FALSE(writer.close().happened());
    }
    std::vector<std::string> words(const std::string& command,
                                   std::vector<std::string> extra = {}) const {
        std::vector<std::string> all = {command, file_};
        const auto port = portWords();
        all.insert(all.end(), port.begin(), port.end());
        all.insert(all.end(), {"--report", dir_.file("report.json")});
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }
    // Gives the command time to fill the pair and block, then asks it to end and times that.
    long long msToEndAfter(const std::function<bool()>& ask) {
        std::this_thread::sleep_for(milliseconds(1500));
        const auto asked = TestClock::now();
        EXPECT_TRUE(ask());
        status_ = exitStatus(milliseconds(15000));
        return msBetween(asked, TestClock::now());
    }
    void startAnswering(std::vector<std::string> extra = {}) {
        startCli(words("respond", std::move(extra)));
        for (auto end = TestClock::now() + milliseconds(15000);
             errors().find("answering") == std::string::npos && TestClock::now() < end;)
            std::this_thread::sleep_for(milliseconds(20));
        ASSERT_TRUE(sendFromDevice(request_));
    }

    std::string file_ = dir_.file("held.pcapng");
    Bytes request_ = bytesOf("MEAS?\r\n");
    int status_ = -1;
};

}  // namespace

TEST_F(HeldUpWriteTest, PlayingAConversationEndsAtCtrlC) {
    writeConversation(false);
    if (HasFatalFailure()) return;
    startCli(words("play"));
    EXPECT_LT(msToEndAfter([this] { return cli_.interrupt(); }), kEndsWithinMs);
    EXPECT_EQ(status_, 0) << errors();
    EXPECT_NE(text("report.json").find("\"chunks\": "), std::string::npos) << errors();
}

TEST_F(HeldUpWriteTest, AnsweringEndsAtItsDurationAndAtAHangUp) {
    writeConversation(false);
    if (HasFatalFailure()) return;
    startAnswering({"--duration", "2"});
    if (HasFatalFailure()) return;
    const auto started = TestClock::now();
    EXPECT_EQ(exitStatus(milliseconds(15000)), 0) << errors();
    EXPECT_LT(msBetween(started, TestClock::now()), 2000 + kEndsWithinMs);
    EXPECT_NE(text("report.json").find("\"requests\": 1,"), std::string::npos)
        << text("report.json");

    drainDevice(milliseconds(200));
    startAnswering();
    if (HasFatalFailure()) return;
    EXPECT_LT(msToEndAfter([this] { return cli_.endSession(); }), kEndsWithinMs);
    // Windows ends the process itself once the console handler has seen the run end.
    if (status_ != static_cast<int>(0xC000013Au)) {
        EXPECT_EQ(status_, 0) << errors();
    }
}

TEST_F(HeldUpWriteTest, AskingEndsAtCtrlCWhileTheDeviceTakesNoneOfTheRequest) {
    writeConversation(true);
    if (HasFatalFailure()) return;
    startCli(words("ask"));
    EXPECT_LT(msToEndAfter([this] { return cli_.interrupt(); }), kEndsWithinMs);
    EXPECT_EQ(status_, 0) << errors();
    EXPECT_NE(text("report.json").find("\"requests\": 0,"), std::string::npos)
        << text("report.json");
}

// The device goes away while a request waits to be taken: the line names the write's reason.
TEST_F(HeldUpWriteTest, APortThatFailsDuringAWriteIsNamedWithTheSystemsReason) {
    writeConversation(true);
    if (HasFatalFailure()) return;
    startCli(words("ask"));
    std::this_thread::sleep_for(milliseconds(1500));
    if (!pair_.stop()) GTEST_SKIP() << "the serial pair is not this test's to end";
    EXPECT_EQ(exitStatus(milliseconds(kEndsWithinMs)), 1) << errors();
    const std::string failed = "veltrane-cli ask: port " + pair_.portName() + " failed: ";
    ASSERT_EQ(errors().rfind(failed, 0), 0u) << errors();
    const std::string reason = errors().substr(failed.size());
    EXPECT_GT(reason.size(), 1u) << errors();
    EXPECT_EQ(reason.find("Success"), std::string::npos) << errors();
}
