#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "engine/PseudoTerminalPort.h"
#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "engine/tests/PortWaitTestSupport.h"
#include "engine/tests/SerialPortTestSupport.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

namespace {

// Two pairs: the test watches one end of each and plays both devices on the other ends.
class TwoPairsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 2; ++i) {
            std::string why;
            ASSERT_TRUE(pairs_[i].start(&why)) << why;
            ASSERT_TRUE(
                watched_[i].open(pairs_[i].portName(), 115200, 8, Parity::None, StopBits::One))
                << watched_[i].errorText();
            ASSERT_TRUE(devices_[i].open(pairs_[i].devicePortName(), 115200, 8, Parity::None,
                                         StopBits::One))
                << devices_[i].errorText();
        }
    }

    SerialPair pairs_[2];
    WaitableSerialPort watched_[2];
    SerialPort devices_[2];
};

// The program under test's side of a pseudo-terminal: open, read, write, close.
class Program {
public:
    explicit Program(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Program() { close(); }
    bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }
    bool send(const std::string& text) {
        return ::write(fd_, text.data(), text.size()) == ssize_t(text.size());
    }
    std::string receive(std::size_t wanted) {
        std::string got;
        const auto start = TestClock::now();
        while (got.size() < wanted && msSince(start) < 3000) {
            pollfd watch{fd_, POLLIN, 0};
            if (::poll(&watch, 1, 50) <= 0) continue;
            char buffer[256];
            ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_;
};

const std::string kRawBytes("\r\n\x03\x04\x11\x13\x1a\x7f\xff\0end", 13);

}  // namespace

// One thread serving two ports sees the bytes in the order in which they arrived, from the port
// each came on.
TEST_F(TwoPairsTest, WaitKeepsTheOrderOfBytesArrivingOnTwoPorts) {
    constexpr int kBytes = 30;
    std::thread devices([this] {
        for (int i = 0; i < kBytes; ++i) {
            const std::uint8_t byte = static_cast<std::uint8_t>(i);
            std::uint32_t written = 0;
            devices_[(i * 7 / 3) % 2].write(&byte, 1, &written);
            std::this_thread::sleep_for(15ms);
        }
    });
    std::vector<std::pair<int, std::uint8_t>> seen;
    WaitablePort* ports[] = {&watched_[0], &watched_[1]};
    const auto start = TestClock::now();
    while (seen.size() < kBytes && msSince(start) < 5000) {
        const std::vector<PortInput> states = waitForInput(ports, 1s);
        for (int p = 0; p < 2; ++p) {
            ASSERT_NE(states[p], PortInput::Failed) << watched_[p].errorText();
            std::uint8_t buffer[16];
            std::uint32_t n = 0;
            ASSERT_TRUE(watched_[p].readAvailable(buffer, sizeof buffer, &n));
            EXPECT_EQ(n > 0, states[p] == PortInput::Ready);
            for (std::uint32_t k = 0; k < n; ++k) seen.emplace_back(p, buffer[k]);
        }
    }
    devices.join();
    ASSERT_EQ(seen.size(), std::size_t{kBytes});
    for (int i = 0; i < kBytes; ++i) {
        EXPECT_EQ(seen[i], std::make_pair((i * 7 / 3) % 2, static_cast<std::uint8_t>(i))) << i;
    }
}

TEST_F(TwoPairsTest, OnlyThePortThatWentAwayFails) {
    devices_[1].close();
    ASSERT_TRUE(pairs_[1].stop());
    WaitablePort* ports[] = {&watched_[0], &watched_[1]};
    EXPECT_EQ(waitForInput(ports, 2s),
              (std::vector<PortInput>{PortInput::None, PortInput::Failed}));
    EXPECT_STREQ(watched_[1].errorText(), std::strerror(EIO));
    // The failed port keeps saying so at once, and that answer still tells of the other's bytes.
    ASSERT_TRUE(writeAll(devices_[0], {'k'}));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(waitForInput(ports, 2s),
              (std::vector<PortInput>{PortInput::Ready, PortInput::Failed}));
    EXPECT_EQ(takeFrom(watched_[0], 1, 2s), bytesOf("k"));
}

TEST(PseudoTerminalPort, BytesPassBothWaysUnchangedAcrossTheProgramReopening) {
    TempDir dir;
    const std::string link = dir.file("host-port");
    PseudoTerminalPort pty;
    ASSERT_TRUE(pty.open(link)) << pty.errorText();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty.slavePath());

    Program program(link);
    ASSERT_TRUE(program.isOpen()) << std::strerror(errno);
    ASSERT_TRUE(program.send("ask" + kRawBytes));
    EXPECT_EQ(takeFrom(pty, 16, 3s), bytesOf("ask" + kRawBytes));
    ASSERT_TRUE(writeText(pty, "answer" + kRawBytes));
    EXPECT_EQ(program.receive(19), "answer" + kRawBytes);
    EXPECT_TRUE(takeFrom(pty, 1, 200ms).empty()) << "our own bytes came back";

    // The program's last bytes before it closes, and ours while it has the port closed.
    ASSERT_TRUE(program.send("last"));
    program.close();
    ASSERT_TRUE(writeText(pty, "while away"));
    EXPECT_EQ(takeFrom(pty, 4, 3s), bytesOf("last"));
    WaitablePort* ports[] = {&pty};
    const auto start = TestClock::now();
    EXPECT_EQ(waitForInput(ports, 300ms)[0], PortInput::None) << pty.errorText();
    EXPECT_GE(msSince(start), 290) << "the wait did not wait while nobody had the port open";

    Program again(link);
    ASSERT_TRUE(again.isOpen()) << std::strerror(errno);
    EXPECT_EQ(again.receive(10), "while away");
    ASSERT_TRUE(again.send("back"));
    EXPECT_EQ(takeFrom(pty, 4, 3s), bytesOf("back"));

    pty.close();
    std::error_code ignored;
    EXPECT_FALSE(std::filesystem::is_symlink(link, ignored));
}

// A speed the program sets on its side ends a wait and is told once, as the program set it.
TEST(PseudoTerminalPort, TellsTheSpeedTheProgramSets) {
    PseudoTerminalPort pty;
    ASSERT_TRUE(pty.open()) << pty.errorText();
    EXPECT_TRUE(pty.takeLineEvents().empty());
    SerialPort program;
    ASSERT_TRUE(program.open(pty.slavePath(), 19200, 8, Parity::None, StopBits::One))
        << program.errorText();
    WaitablePort* ports[] = {&pty};
    EXPECT_EQ(waitForInput(ports, 3s)[0], PortInput::Ready);
    const std::vector<LineEvent> told = pty.takeLineEvents();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, LineEventKind::LineSettings);
    EXPECT_EQ(told[0].speed, 19200);
    EXPECT_TRUE(pty.takeLineEvents().empty());
}

// A link left behind by an earlier run is replaced; a file of any other kind is never removed.
TEST(PseudoTerminalPort, LinkReplacesAStaleLinkButNoOtherFile) {
    TempDir dir;
    const std::string stale = dir.file("stale");
    std::filesystem::create_symlink("/dev/pts/no-such", stale);
    PseudoTerminalPort pty;
    ASSERT_TRUE(pty.open(stale)) << pty.errorText();
    EXPECT_EQ(std::filesystem::read_symlink(stale).string(), pty.slavePath());

    const std::string file = dir.file("file");
    ASSERT_TRUE(writeWholeFile(file, {'x'}));
    EXPECT_FALSE(pty.open(file));
    EXPECT_FALSE(pty.isOpen());
    EXPECT_STREQ(pty.errorText(), std::strerror(EEXIST));
    EXPECT_EQ(readWholeFile(file), std::vector<std::uint8_t>{'x'});
    EXPECT_FALSE(std::filesystem::exists(stale)) << "the first open's link outlived its close";
}
