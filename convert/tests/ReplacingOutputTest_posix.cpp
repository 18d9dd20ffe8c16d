// What an export replaces on POSIX: the file a link names (the link stays), with the old file's
// permissions; a device is written straight.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/TextExport.h"
#include "tests/support/ChunkBytes.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(ReplacingOutput, LinksKeepTheirPlaceFilesTheirPermissionsAndDevicesAreWrittenStraight) {
    TempDir dir;
    const std::string serial = dir.file("in.ser");
    ASSERT_TRUE(writeWholeFile(serial, chunkBytes(0, {'A', 'B'})));
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    ExportOptions options;
    options.exportType = ExportType::RawBytes;

    const std::string file = dir.file("target.txt");
    ASSERT_TRUE(writeWholeFile(file, old));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    options.fileName = dir.file("link.txt");
    fs::create_symlink(file, options.fileName);
    EXPECT_EQ(exportToText(serial, options).status, ExportStatus::Exported);
    EXPECT_TRUE(fs::is_symlink(options.fileName));
    EXPECT_EQ(readWholeFile(file), (std::vector<std::uint8_t>{'A', 'B'}));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    options.fileName = "/dev/null";
    EXPECT_EQ(exportToText(serial, options).status, ExportStatus::Exported);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3) << "a file was left";
}
