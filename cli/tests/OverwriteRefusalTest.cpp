// No option writes over what the command reads: a report, a log or an output naming the input,
// by its own name, another path or a link, is refused before anything is opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationWriter.h"

namespace {

class OverwriteRefusalTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(writeSerialFile(serial_, {{0, bytesOf("hello")}, {5, bytesOf("again")}}));
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(conversation_, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        ASSERT_FALSE(writer.write({1'000'000, Direction::Host, 0, bytesOf("Q?")}).happened());
        ASSERT_FALSE(writer.write({1'002'000, Direction::Device, 0, bytesOf("42")}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    // A link to target, or empty where the system makes none (Windows without the privilege).
    std::string linkTo(const std::string& target, const std::string& name) const {
        std::error_code error;
        std::filesystem::create_symlink(target, dir_.file(name), error);
        return error ? std::string() : dir_.file(name);
    }
    // Runs the words, which must be refused with one line that says why; the file is untouched.
    void expectRefused(const std::vector<std::string>& words, const std::string& kept) {
        const auto before = readWholeFile(kept);
        EXPECT_EQ(runCli(words, milliseconds(10000)), 2) << words[0] << ": " << errors();
        const std::string said = errors();
        EXPECT_NE(said.find(": cannot "), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(readWholeFile(kept), before) << words[0] << " wrote over " << kept;
    }
    std::vector<std::string> withPort(std::vector<std::string> words) const {
        const auto port = portWords();
        words.insert(words.begin() + 2, port.begin(), port.end());
        return words;
    }

    std::string serial_ = dir_.file("take.ser");
    std::string conversation_ = dir_.file("talk.pcapng");
};

}  // namespace

TEST_F(OverwriteRefusalTest, ReportsLogsAndOutputsNamingTheInputAreRefused) {
    const std::string c = conversation_;
    const std::string s = serial_;
    // Another path to the same file: through a folder and back.
    const std::string roundabout = dir_.file("sub/../talk.pcapng");
    std::filesystem::create_directory(dir_.file("sub"));
    expectRefused(withPort({"play", s, "--report", s}), s);
    expectRefused(withPort({"play", c, "--log", roundabout}), c);
    expectRefused(withPort({"respond", c, "--report", c}), c);
    expectRefused(withPort({"respond", c, "--log", roundabout}), c);
    expectRefused(withPort({"ask", c, "--report", roundabout}), c);
    expectRefused(withPort({"record", s, "--log", s}), s);
    expectRefused({"export", c, "-o", roundabout}, c);
    expectRefused({"export", s, "-o", s}, s);
    EXPECT_NE(errors().find("it is the serial file being exported"), std::string::npos);
    expectRefused({"import", s, "-o", s}, s);
    const std::string link = linkTo(c, "link.pcapng");
    if (link.empty()) return;
    expectRefused(withPort({"ask", c, "--report", link}), c);
    expectRefused({"export", c, "-o", link}, c);
    EXPECT_NE(errors().find("it is the conversation file being exported"), std::string::npos);
}
