// The window's words for each kind of failure, per command: the texts its boxes have always
// shown, with the system's reason on a line of its own.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "app/FailureTexts.h"

namespace {
using Kind = Failure::Kind;
const std::string kReason = std::string("\r\n") + std::strerror(ENOENT);
Failure failed(Kind kind, const std::string& path) {
    return fileFailure(kind, path, cLibraryError(ENOENT));
}
}  // namespace

TEST(FailureTexts, ExportAndImportWordEachKindAsTheirBoxesDo) {
    EXPECT_EQ(exportFailureText(failed(Kind::CreateOutput, "o.txt")),
              "Error creating o.txt:" + kReason);
    EXPECT_EQ(exportFailureText(failed(Kind::ReadInput, "a.ser")),
              "Error reading a.ser:" + kReason);
    EXPECT_EQ(exportFailureText(failed(Kind::WriteOutput, "o.txt")),
              "Error writing o.txt:" + kReason);
    EXPECT_EQ(importFailureText(failed(Kind::OpenInput, "i.bin")),
              "Error opening i.bin:" + kReason);
    EXPECT_EQ(importFailureText(failed(Kind::CreateOutput, "w.ser")),
              "Error creating w.ser:" + kReason);
    EXPECT_EQ(importFailureText(failed(Kind::ReadInput, "i.bin")),
              "Error reading i.bin; nothing was imported:" + kReason);
    EXPECT_EQ(importFailureText(failed(Kind::WriteOutput, "w.ser")),
              "Error writing w.ser; nothing was imported:" + kReason);
    EXPECT_EQ(saveFailureText(failed(Kind::WriteOutput, "c.ser")),
              "Error saving to c.ser:" + kReason);
}

TEST(FailureTexts, ASerialFileThatWouldNotOpenGivesTheSystemsOwnReason) {
    // The boxes have never named the file; their reason is the system's own number's.
    Failure failure = failed(Kind::OpenInput, "a.ser");
    failure.systemError = {SystemError::Numbering::System, EACCES};
    const std::string systemReason = "\r\n" + systemErrorText(failure.systemError);
    EXPECT_EQ(exportFailureText(failure), "Couldnt open serial file!" + systemReason);
    EXPECT_EQ(loadFailureText(failure), "Couldnt open file!" + systemReason);
    failure.systemError = {};
    EXPECT_EQ(loadFailureText(failure), "Couldnt open file!");
    // A conversation that is none says what is wrong.
    EXPECT_EQ(loadFailureText(failed(Kind::ReadInput, "c.pcapng")), "Couldnt open file!" + kReason);
}

TEST(FailureTexts, RunsWordTheirFileAndPortFailures) {
    EXPECT_EQ(runFileFailureText(failed(Kind::WriteOutput, "w.ser"), true),
              "The recording was stopped: the file w.ser could not be written." + kReason);
    EXPECT_EQ(runFileFailureText(failed(Kind::ReadInput, "p.ser"), false),
              "Playing was stopped: the file p.ser could not be read." + kReason);
    EXPECT_EQ(runFileFailureText(failed(Kind::PortLost, "COM3"), true), "");

    const PortFailureWords lost =
        portFailureWords(portFailure(Kind::PortLost, "COM3", "gone"), true);
    EXPECT_EQ(lost.statusText, "Port COM3 failed");
    EXPECT_EQ(lost.boxText, "The recording was stopped: the port COM3 failed.\r\ngone");
    EXPECT_EQ(portFailureWords(portFailure(Kind::OpenPort, "COM4", "busy"), false).boxText,
              "Playing could not start: the port COM4 could not be opened.\r\nbusy");
    EXPECT_EQ(portFailureWords(portFailure(Kind::PortTimeouts, "COM5", "no"), true).statusText,
              "Port COM5 refused its timeouts");
    EXPECT_EQ(portFailureWords(failed(Kind::WriteOutput, "w.ser"), true).boxText, "");
}
