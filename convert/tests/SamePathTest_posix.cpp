#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "convert/SamePath.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(SamePath, NamesOfOneFileAgree) {
    TempDir dir;
    std::string file = dir.file("a.ser");
    ASSERT_TRUE(writeWholeFile(file, {1}));
    fs::create_directory(dir.path() / "sub");
    fs::create_symlink(file, dir.path() / "link.ser");
    fs::create_hard_link(file, dir.path() / "hard.ser");

    EXPECT_TRUE(namesSameFile(file, file));
    EXPECT_TRUE(namesSameFile(file, dir.file("sub/../a.ser")));
    EXPECT_TRUE(namesSameFile(file, dir.file("./sub/.././a.ser")));
    EXPECT_TRUE(namesSameFile(file, dir.file("link.ser")));
    EXPECT_TRUE(namesSameFile(dir.file("hard.ser"), file));
    // A missing file is still named the same way twice.
    EXPECT_TRUE(namesSameFile(dir.file("new.txt"), dir.file("sub/../new.txt")));
}

TEST(SamePath, RelativeNamesResolveFromTheCurrentFolder) {
    TempDir dir;
    std::string file = dir.file("a.ser");
    ASSERT_TRUE(writeWholeFile(file, {1}));
    fs::path before = fs::current_path();
    fs::current_path(dir.path());
    bool relativeFile = namesSameFile("a.ser", file);
    bool relativeMissing = namesSameFile("b.txt", dir.file("b.txt"));
    bool otherName = namesSameFile("A.ser", file);
    fs::current_path(before);
    EXPECT_TRUE(relativeFile);
    EXPECT_TRUE(relativeMissing);
    EXPECT_FALSE(otherName);  // names differ in case: separate files here
}

TEST(SamePath, DifferentFilesDiffer) {
    TempDir dir;
    ASSERT_TRUE(writeWholeFile(dir.file("a.ser"), {1}));
    ASSERT_TRUE(writeWholeFile(dir.file("b.ser"), {1}));
    EXPECT_FALSE(namesSameFile(dir.file("a.ser"), dir.file("b.ser")));
    EXPECT_FALSE(namesSameFile(dir.file("a.ser"), dir.file("missing.ser")));
    EXPECT_FALSE(namesSameFile(dir.file("a.ser"), ""));
    EXPECT_FALSE(namesSameFile("", ""));
}
