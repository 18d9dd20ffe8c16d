#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "convert/SamePath.h"
#include "tests/support/TempDir.h"

namespace {

std::string currentFolder() {
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    return std::string(folder, length);
}

std::string withBackslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

}  // namespace

TEST(SamePath, FullPathsCompareIgnoringCase) {
    EXPECT_TRUE(namesSameFile("C:\\x\\A.ser", "c:\\X\\a.SER"));
    EXPECT_TRUE(namesSameFile("C:\\x\\y\\..\\A.ser", "C:/x/./a.ser"));
    EXPECT_FALSE(namesSameFile("C:\\x\\A.ser", "C:\\x\\B.ser"));
    EXPECT_FALSE(namesSameFile("C:\\x\\A.ser", "D:\\x\\A.ser"));
    EXPECT_FALSE(namesSameFile("C:\\x\\A.ser", ""));
}

TEST(SamePath, RelativeNamesResolveFromTheCurrentFolder) {
    std::string here = withBackslash(currentFolder());
    EXPECT_TRUE(namesSameFile("rel.ser", here + "REL.SER"));
    EXPECT_TRUE(namesSameFile(".\\sub\\..\\rel.ser", here + "rel.ser"));
    EXPECT_FALSE(namesSameFile("rel.ser", here + "other.ser"));
}

TEST(SamePath, ExistingFileUnderTwoNames) {
    TempDir dir;
    std::string file = dir.file("Record.ser");
    ASSERT_TRUE(writeWholeFile(file, {1}));
    EXPECT_TRUE(namesSameFile(file, dir.file("record.SER")));
    ASSERT_TRUE(CreateHardLinkA(dir.file("hard.ser").c_str(), file.c_str(), nullptr));
    EXPECT_TRUE(namesSameFile(dir.file("hard.ser"), file));
    ASSERT_TRUE(writeWholeFile(dir.file("other.ser"), {1}));
    EXPECT_FALSE(namesSameFile(dir.file("other.ser"), file));
}
