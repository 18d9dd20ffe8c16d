// Read and write failures part-way through an export or import, made the POSIX way: a folder
// opens as a stream whose every read fails, /dev/full refuses every write, and a file size
// limit makes a plain file's writes fail once it has grown.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "convert/Import.h"
#include "convert/TextExport.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ConversionFailureTest : public ::testing::Test {
protected:
    // A serial file of 1000 chunks of 200 bytes: its text export is over 1 MB.
    std::string bigSerialFile() {
        const std::string path = dir.file("big.ser");
        Bytes file;
        for (int chunk = 0; chunk < 1000; ++chunk) {
            Bytes head{0x53, 0x01, 0, 0, 0, 0, 200};
            file.insert(file.end(), head.begin(), head.end());
            file.insert(file.end(), 200, 'x');
            file.push_back(0x0A);
        }
        EXPECT_TRUE(writeWholeFile(path, file));
        return path;
    }
    // What failed, on which file, and the system's own number for why.
    static Failure failure(Failure::Kind kind, const std::string& path, int error) {
        return fileFailure(kind, path, {SystemError::Numbering::System, error});
    }
    static void expectFailure(const Failure& got, const Failure& expected) {
        EXPECT_EQ(got.kind, expected.kind);
        EXPECT_EQ(got.subject, expected.subject);
        // A read's reason is errno's; a write's the system's: one numbering on POSIX.
        EXPECT_EQ(got.error.number, expected.error.number) << got.reason();
    }
    // Runs convert with a file size limit of 100 000 bytes.
    template <typename Convert>
    void withSizeLimit(Convert convert) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction before {};
        ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &before), 0);
        rlimit limit{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
        rlimit smaller = limit;
        smaller.rlim_cur = 100'000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &smaller), 0);
        convert();
        setrlimit(RLIMIT_FSIZE, &limit);
        sigaction(SIGXFSZ, &before, nullptr);
    }

    TempDir dir;
    LogWriter log{LogSettings{}};
};

TEST_F(ConversionFailureTest, ExportShowsAReadErrorAndLeavesNoOutput) {
    ExportOptions chosen;
    chosen.fileName = dir.file("out.txt");
    const std::string folder = dir.path().string();
    const ExportResult result = exportToText(folder, chosen);
    EXPECT_EQ(result.status, ExportStatus::Failed);
    EXPECT_FALSE(std::filesystem::exists(chosen.fileName));
    expectFailure(result.failure, failure(Failure::Kind::ReadInput, folder, EISDIR));
}

TEST_F(ConversionFailureTest, ExportShowsAWriteErrorAndLeavesNoCutShortOutput) {
    ExportOptions chosen;
    chosen.fileName = "/dev/full";
    const std::string serial = bigSerialFile();
    ExportResult result = exportToText(serial, chosen);
    expectFailure(result.failure, failure(Failure::Kind::WriteOutput, "/dev/full", ENOSPC));
    EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "a device was removed";

    // A plain file cut short by the size limit is removed.
    chosen.fileName = dir.file("cut.txt");
    withSizeLimit([&] { result = exportToText(serial, chosen); });
    EXPECT_EQ(result.status, ExportStatus::Failed);
    expectFailure(result.failure, failure(Failure::Kind::WriteOutput, chosen.fileName, EFBIG));
    EXPECT_FALSE(std::filesystem::exists(chosen.fileName));
}

TEST_F(ConversionFailureTest, ImportShowsReadAndWriteErrorsAndKeepsNothing) {
    const std::string folder = dir.path().string();
    const std::string output = dir.file("work.ser");
    auto failed = importToSerialFile(folder, output, 9600, ImportFormat::HexText, log);
    EXPECT_EQ(failed.status, ImportStatus::Failed);
    expectFailure(failed.failure, failure(Failure::Kind::ReadInput, folder, EISDIR));
    EXPECT_FALSE(std::filesystem::exists(output));

    const std::string input = dir.file("input.bin");
    ASSERT_TRUE(writeWholeFile(input, Bytes(100'000, 'x')));
    failed = importToSerialFile(input, "/dev/full", 9600, ImportFormat::RawBytes, log);
    expectFailure(failed.failure, failure(Failure::Kind::WriteOutput, "/dev/full", ENOSPC));
    EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "a device was removed";
}

// Yesterday's output survives a failed read or write of today's, and nothing is left beside it.
TEST_F(ConversionFailureTest, FailuresLeaveAnOldOutputAsItWas) {
    const Bytes old{'o', 'l', 'd'};
    const std::string serial = bigSerialFile();
    const std::string input = dir.file("input.bin");
    ASSERT_TRUE(writeWholeFile(input, Bytes(300'000, 'x')));
    const std::string folder = dir.path().string();
    ExportOptions chosen;
    chosen.fileName = dir.file("old.txt");
    const std::string imported = dir.file("old.ser");
    ASSERT_TRUE(writeWholeFile(chosen.fileName, old));
    ASSERT_TRUE(writeWholeFile(imported, old));

    EXPECT_EQ(exportToText(folder, chosen).failure.kind, Failure::Kind::ReadInput);
    EXPECT_EQ(importToSerialFile(folder, imported, 9600, ImportFormat::RawBytes, log).failure.kind,
              Failure::Kind::ReadInput);
    ExportResult exported;
    withSizeLimit([&] {
        exported = exportToText(serial, chosen);
        EXPECT_EQ(
            importToSerialFile(input, imported, 9600, ImportFormat::RawBytes, log).failure.kind,
            Failure::Kind::WriteOutput);
    });
    expectFailure(exported.failure, failure(Failure::Kind::WriteOutput, chosen.fileName, EFBIG));

    EXPECT_EQ(readWholeFile(chosen.fileName), old);
    EXPECT_EQ(readWholeFile(imported), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4)
        << "a file was left beside an output";
}

}  // namespace
