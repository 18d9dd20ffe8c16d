#include <gtest/gtest.h>

#include <chrono>

#include "engine/WaitablePort.h"

using namespace std::chrono_literals;

namespace {

// A port with nothing to watch for now, or with a state known without waiting; its object is
// never to be waited on.
class UnwatchedPort final : public WaitablePort {
public:
    explicit UnwatchedPort(WaitStart start) : start_(start) {}
    bool readAvailable(void*, std::uint32_t, std::uint32_t* bytesRead) override {
        *bytesRead = 0;
        return true;
    }
    bool writeWithin(const void*, std::uint32_t count, std::uint32_t* bytesWritten,
                     std::chrono::milliseconds) override {
        *bytesWritten = count;
        return true;
    }
    const char* errorText() override { return ""; }
    const char* writeErrorText() override { return ""; }
    WaitStart startWait() override {
        ++starts;
        return start_;
    }
    PortInput finishWait(std::uint32_t) override {
        ++finishes;
        return PortInput::Failed;
    }
    int starts = 0;
    int finishes = 0;

private:
    WaitStart start_;
};

}  // namespace

// A wait without an end of its own (or a long one) ends when an away port wants another look,
// which a hang here would show; the port's object is left alone.
TEST(PortWaitLookAgain, AnAwayPortEndsAnEndlessWaitWithNothingToTell) {
    UnwatchedPort away({PortInput::None, -1, 20ms});
    WaitablePort* ports[] = {&away};
    EXPECT_EQ(waitForInput(ports, -1ms), std::vector<PortInput>{PortInput::None});
    EXPECT_EQ(waitForInput(ports, 24h), std::vector<PortInput>{PortInput::None});
    EXPECT_EQ(away.starts, 2);
    EXPECT_EQ(away.finishes, 0);
}

TEST(PortWaitLookAgain, AnAwayPortBesideAReadyOneTellsNothingOfItsOwn) {
    UnwatchedPort away({PortInput::None, -1, 0ms});
    UnwatchedPort ready({PortInput::Ready, -1});
    WaitablePort* ports[] = {&away, &ready};
    EXPECT_EQ(waitForInput(ports, -1ms),
              (std::vector<PortInput>{PortInput::None, PortInput::Ready}));
    EXPECT_EQ(away.finishes + ready.finishes, 0);
}
