#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
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

// A serial file of count full chunks (263 bytes each), written without the program's writer.
Bytes serialFile(std::size_t count) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto offset = static_cast<std::uint32_t>(i);
        out.insert(out.end(), {0x53, 0x01, std::uint8_t(offset), std::uint8_t(offset >> 8),
                               std::uint8_t(offset >> 16), std::uint8_t(offset >> 24), 255});
        for (int byte = 0; byte < 255; ++byte) out.push_back(std::uint8_t(byte + i));
        out.push_back(0x0A);
    }
    return out;
}

// Keeps every report; says stop once cancelAfter reports were made (0: never).
struct ProgressLog {
    std::vector<std::uint64_t> done;
    std::uint64_t total = 0;
    std::size_t cancelAfter = 0;
    ConversionProgress callback() {
        return [this](std::uint64_t bytes, std::uint64_t of) {
            done.push_back(bytes);
            total = of;
            return cancelAfter == 0 || done.size() < cancelAfter;
        };
    }
};

// The names in a folder, sorted: a file left beside an output shows here.
std::vector<std::string> filesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ConversionProgressTest : public ::testing::Test {
protected:
    TempDir dir;
    LogWriter log{LogSettings{}};
    const std::string input = dir.file("in.bin");
    const std::string output = dir.file("out");
    const Bytes bytes = serialFile(8000);  // about 2 MB: several reports

    void SetUp() override { ASSERT_TRUE(writeWholeFile(input, bytes)); }

    // Export and import of the input, each true when it ended whole and false when cancelled.
    std::vector<std::function<bool(const ConversionProgress&)>> conversions() {
        return {
            [this](const ConversionProgress& progress) {
                ExportOptions options;
                options.fileName = output;
                options.exportType = ExportType::HexText;
                const ExportStatus status = exportToText(input, options, progress).status;
                EXPECT_TRUE(status == ExportStatus::Exported || status == ExportStatus::Cancelled);
                return status == ExportStatus::Exported;
            },
            [this](const ConversionProgress& progress) {
                const ImportStatus status =
                    importToSerialFile(input, output, 9600, ImportFormat::RawBytes, log, progress)
                        .status;
                EXPECT_TRUE(status == ImportStatus::Converted || status == ImportStatus::Cancelled);
                return status == ImportStatus::Converted;
            }};
    }
};

}  // namespace

TEST_F(ConversionProgressTest, ReportsRiseToTheTotalAndTheOutputIsAsWithout) {
    for (const auto& convert : conversions()) {
        ASSERT_TRUE(convert({}));
        const Bytes without = readWholeFile(output);
        ProgressLog progress;
        ASSERT_TRUE(convert(progress.callback()));
        ASSERT_GE(progress.done.size(), 3u);
        EXPECT_EQ(progress.total, bytes.size());
        EXPECT_EQ(progress.done.back(), bytes.size());
        for (std::size_t i = 1; i < progress.done.size(); ++i)
            EXPECT_GT(progress.done[i], progress.done[i - 1]);
        EXPECT_EQ(readWholeFile(output), without);
    }
}

TEST_F(ConversionProgressTest, CancelledPartWayLeavesNoOutputAndShowsNothing) {
    for (const auto& convert : conversions()) {
        ProgressLog progress;
        progress.cancelAfter = 2;
        EXPECT_FALSE(convert(progress.callback()));
        EXPECT_EQ(progress.done.size(), 2u);  // no report after the stop
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

// Yesterday's output, cancelled over part-way or at the last check before it is replaced.
TEST_F(ConversionProgressTest, CancelledOverAnOldOutputLeavesItAsItWas) {
    const Bytes old{'o', 'l', 'd', '\r', '\n'};
    for (const auto& convert : conversions()) {
        for (const std::size_t cancelAfter : {std::size_t{2}, std::size_t{0}}) {
            ASSERT_TRUE(writeWholeFile(output, old));
            ProgressLog progress;
            progress.cancelAfter = cancelAfter;
            if (cancelAfter == 0) {  // counted first, then cancelled at the last report
                ASSERT_TRUE(convert(progress.callback()));
                ASSERT_TRUE(writeWholeFile(output, old));
                progress.cancelAfter = progress.done.size();
                progress.done.clear();
            }
            EXPECT_FALSE(convert(progress.callback()));
            EXPECT_EQ(readWholeFile(output), old);
            EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"in.bin", "out"}));
        }
    }
}
