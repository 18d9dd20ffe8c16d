// The null device takes an export straight: it has no folder to write beside it in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "convert/TextExport.h"
#include "tests/support/ChunkBytes.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

TEST(ReplacingOutput, TheNullDeviceIsWrittenStraight) {
    TempDir dir;
    const std::string serial = dir.file("in.ser");
    ASSERT_TRUE(writeWholeFile(serial, chunkBytes(0, {'A', 'B'})));
    ExportOptions options;
    options.fileName = "NUL";
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(exportToText(serial, options).status, ExportStatus::Exported);
    std::filesystem::current_path(before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
