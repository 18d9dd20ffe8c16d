// Ctrl+C, and the end of the session the program runs in (a hang-up, a closed console window,
// a log-off), during export and import: the conversion stops, what it wrote goes, the file it was
// to replace stays as it was, one line says so.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

enum class Ending { CtrlC, SessionEnd, LogOff };

// Windows ends a process whose console closed once its handler returns, with this status; the
// command may have ended by itself just before.
constexpr int kEndedBySystem = static_cast<int>(0xC000013Au);

class ConversionInterrupt : public ::testing::TestWithParam<Ending> {
protected:
    // Runs the program until its output has begun beside the old one, then ends it the
    // parameter's way; its exit status, -2 when that cannot be done here.
    int interruptOnceWriting(const std::vector<std::string>& words, const std::string& output) {
        EXPECT_TRUE(writeWholeFile(output, kOldOutput));
        std::string why;
        EXPECT_TRUE(
            cli.start(VELTRANE_CLI_PATH, words, dir.file("out.txt"), dir.file("err.txt"), &why))
            << why;
        for (auto end = std::chrono::steady_clock::now() + 20s;
             std::chrono::steady_clock::now() < end && !beside(output);) {
            std::this_thread::sleep_for(5ms);
        }
        const bool ended = GetParam() == Ending::CtrlC    ? cli.interrupt()
                           : GetParam() == Ending::LogOff ? cli.endSession(SessionEnd::LogOff)
                                                          : cli.endSession();
        if (!ended) return -2;
        return cli.wait(20s).value_or(-1);
    }
    // Whether a file with bytes in it lies beside output, named after it.
    bool beside(const std::string& output) const {
        const std::string prefix = std::filesystem::path(output).filename().string() + ".";
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::error_code error;
            if (entry.path().filename().string().rfind(prefix, 0) == 0 &&
                std::filesystem::file_size(entry.path(), error) > 0 && !error)
                return true;
        }
        return false;
    }

    // Its standard error, with Windows' line ends made plain.
    std::string errors() const {
        const auto bytes = readWholeFile(dir.file("err.txt"));
        std::string text(bytes.begin(), bytes.end());
        std::erase(text, '\r');
        return text;
    }

    void expectCancelled(int status) const {
        if (GetParam() != Ending::CtrlC && status == kEndedBySystem) return;
        EXPECT_EQ(status, 1) << errors();
    }

    const std::vector<std::uint8_t> kOldOutput{'o', 'l', 'd'};
    TempDir dir;
    ChildProcess cli;
};

}  // namespace

TEST_P(ConversionInterrupt, CancelsAnExportAndKeepsTheOldOutput) {
    // 256 MB of full chunks: seconds of hex text, far more than the Ctrl+C needs.
    const std::string serial = dir.file("big.ser");
    std::vector<char> block;
    for (int i = 0; i < 4000; ++i) {
        block.insert(block.end(), {0x53, 0x01, 0, 0, 0, 0, char(255)});
        block.insert(block.end(), 255, 'A');
        block.push_back('\n');
    }
    {
        std::ofstream out(serial, std::ios::binary);
        for (std::size_t written = 0; written < 256u << 20; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        ASSERT_TRUE(out.good());
    }
    const std::string output = dir.file("big.txt");
    const int status =
        interruptOnceWriting({"export", serial, "--format", "hex", "-o", output}, output);
    if (status == -2) GTEST_SKIP() << "the child cannot be ended that way here";
    expectCancelled(status);
    EXPECT_EQ(errors(), "veltrane-cli export: export of " + serial + " cancelled\n");
    EXPECT_EQ(readWholeFile(output), kOldOutput);
    EXPECT_FALSE(beside(output));
}

TEST_P(ConversionInterrupt, CancelsAnImportAndKeepsTheOldOutput) {
    const std::string input = dir.file("big.bin");
    { std::ofstream create(input, std::ios::binary); }
    std::filesystem::resize_file(input, 1u << 30);  // a gigabyte of zeros, sparse where it can be
    const std::string output = dir.file("big.ser");
    const int status = interruptOnceWriting({"import", input, "-o", output}, output);
    if (status == -2) GTEST_SKIP() << "the child cannot be ended that way here";
    expectCancelled(status);
    EXPECT_EQ(errors(), "veltrane-cli import: import of " + input + " cancelled\n");
    EXPECT_EQ(readWholeFile(output), kOldOutput);
    EXPECT_FALSE(beside(output));
}

INSTANTIATE_TEST_SUITE_P(Endings, ConversionInterrupt,
                         ::testing::Values(Ending::CtrlC, Ending::SessionEnd, Ending::LogOff),
                         [](const auto& endingOf) {
                             return endingOf.param == Ending::CtrlC        ? "CtrlC"
                                    : endingOf.param == Ending::SessionEnd ? "SessionEnd"
                                                                           : "LogOff";
                         });
