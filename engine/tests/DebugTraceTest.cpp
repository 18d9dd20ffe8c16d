#include "engine/DebugTrace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Recorders.h"

TEST(DebugTrace, PassesMessagesUpToItsVerbosity) {
    RecordingTraceSink sink;
    DebugTrace trace(sink);  // verbosity 4, as the program sets it
    trace.trace(4, "shown\r\n");
    trace.trace(0, "urgent");
    trace.trace(5, "too detailed");
    trace.trace(0xFFFFFFFFu, "never");  // unsigned comparison: no wrap-around
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"shown\r\n", "urgent"}));
}

TEST(DebugTrace, FormatsOnlyWhatItPassesOn) {
    RecordingTraceSink sink;
    DebugTrace trace(sink, 3);
    trace.tracef(4, "FileSize=%u\r\n", 7u);
    trace.tracef(3, "At %u - wating for %u\r\n", 12u, 30u);
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"At 12 - wating for 30\r\n"}));
}

TEST(DebugTrace, LongFormattedTextIsNeverCut) {
    RecordingTraceSink sink;
    DebugTrace trace(sink);
    std::string path(3000, 'p');
    trace.tracef(4, "Loading %s\r\n", path.c_str());
    ASSERT_EQ(sink.lines().size(), 1u);
    EXPECT_EQ(sink.lines()[0], "Loading " + path + "\r\n");
}

TEST(DebugTrace, HexDumpMatchesTheRecordingTraceShape) {
    RecordingTraceSink sink;
    DebugTrace trace(sink);
    const std::uint8_t bytes[] = {0x41, 0x42, 0x0D, 0x00, 0xFF, 0xa5};
    trace.traceHex(4, "off=12: sz=3\r\n", bytes, 3);
    trace.traceHex(4, "p", bytes + 3, 3);
    trace.traceHex(4, "none", bytes, 0);
    trace.traceHex(5, "hidden", bytes, 3);
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"off=12: sz=3\r\n {41,42,0D}",
                                                      "p {00,FF,A5}", "none {}"}));
}

TEST(DebugTrace, HexDumpOfAFullChunk) {
    RecordingTraceSink sink;
    DebugTrace trace(sink);
    std::vector<std::uint8_t> bytes(255);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    trace.traceHex(4, "x", bytes.data(), bytes.size());
    const std::string line = sink.lines().at(0);
    EXPECT_EQ(line.size(), 1 + 2 + 255 * 3 - 1 + 1);
    EXPECT_EQ(line.substr(0, 12), "x {00,01,02,");
    EXPECT_EQ(line.substr(line.size() - 7), ",FD,FE}");
}
