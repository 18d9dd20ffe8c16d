// Ctrl+C during export and import: the conversion stops, what it wrote goes, the file it was to
// replace stays as it was, one line says so.
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

class ConversionInterrupt : public ::testing::Test {
protected:
    // Runs the program until its output has begun beside the old one, then sends Ctrl+C; its
    // exit status.
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
        if (!cli.interrupt()) return -2;
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
    std::string errors() const {
        const auto bytes = readWholeFile(dir.file("err.txt"));
        return std::string(bytes.begin(), bytes.end());
    }

    const std::vector<std::uint8_t> kOldOutput{'o', 'l', 'd'};
    TempDir dir;
    ChildProcess cli;
};

}  // namespace

TEST_F(ConversionInterrupt, CtrlCCancelsAnExportAndKeepsTheOldOutput) {
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
    if (status == -2) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    EXPECT_EQ(status, 1) << errors();
    EXPECT_EQ(errors(), "veltrane-cli export: export of " + serial + " cancelled\n");
    EXPECT_EQ(readWholeFile(output), kOldOutput);
    EXPECT_FALSE(beside(output));
}

TEST_F(ConversionInterrupt, CtrlCCancelsAnImportAndKeepsTheOldOutput) {
    const std::string input = dir.file("big.bin");
    { std::ofstream create(input, std::ios::binary); }
    std::filesystem::resize_file(input, 1u << 30);  // a gigabyte of zeros, sparse where it can be
    const std::string output = dir.file("big.ser");
    const int status = interruptOnceWriting({"import", input, "-o", output}, output);
    if (status == -2) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    EXPECT_EQ(status, 1) << errors();
    EXPECT_EQ(errors(), "veltrane-cli import: import of " + input + " cancelled\n");
    EXPECT_EQ(readWholeFile(output), kOldOutput);
    EXPECT_FALSE(beside(output));
}
