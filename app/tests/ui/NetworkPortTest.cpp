// The window's recording and playback with a device server over the network as its port: the
// test is the server, and the window connects to it for each run.
#include "app/tests/ui/UiTestSupport.h"
#include "network/TcpSocket.h"

namespace {

using namespace std::chrono_literals;

// Takes the window's connection, waiting up to the state limit.
bool acceptWithin(TcpSocket& server, TcpSocket& connection) {
    return waitUntil([&] { return server.accept(&connection) == TcpSocket::Io::Done; },
                     kStateLimit);
}

std::string receiveWithin(TcpSocket& connection, std::size_t count) {
    std::string got;
    waitUntil(
        [&] {
            char buffer[256];
            std::uint32_t received = 0;
            if (connection.receive(buffer, sizeof buffer, &received) == TcpSocket::Io::Done)
                got.append(buffer, received);
            return got.size() >= count;
        },
        kStateLimit);
    return got;
}

TEST(NetworkPort, TheWindowRecordsFromADeviceServerAndPlaysBackToIt) {
    TcpSocket server;
    ASSERT_TRUE(server.listen("127.0.0.1", 0)) << server.errorText();
    UiProgram program;
    program.writeString("Device", "Port", "tcp://127.0.0.1:" + std::to_string(server.localPort()));
    ASSERT_TRUE(started(program));

    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    TcpSocket recording;
    ASSERT_TRUE(acceptWithin(server, recording)) << "the window did not connect to record";
    ASSERT_TRUE(statusBecomes(program, "Recording"));
    const std::string sent = "reading 1\r\nreading 2\r\n";
    std::uint32_t done = 0;
    ASSERT_EQ(recording.send(sent.data(), static_cast<std::uint32_t>(sent.size()), &done),
              TcpSocket::Io::Done);
    ASSERT_EQ(done, sent.size());
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Stopped"));

    ASSERT_TRUE(program.click(IDC_REWIND_BUTTON));
    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    TcpSocket playing;
    ASSERT_TRUE(acceptWithin(server, playing)) << "the window did not connect to play";
    EXPECT_EQ(receiveWithin(playing, sent.size()), sent);
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
}

}  // namespace
