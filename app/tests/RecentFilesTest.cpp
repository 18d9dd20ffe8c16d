#include "app/RecentFiles.h"

#include <gtest/gtest.h>

#include "tests/support/MemoryProfile.h"

using Paths = std::vector<std::string>;

TEST(RecentFiles, NewestFirstAndAtMostFive) {
    RecentFiles list;
    for (const char* path : {"a", "b", "c", "d", "e"}) list.add(path);
    EXPECT_EQ(list.paths(), (Paths{"e", "d", "c", "b", "a"}));
    list.add("f");  // a sixth file drops the fifth
    EXPECT_EQ(list.paths(), (Paths{"f", "e", "d", "c", "b"}));
}

TEST(RecentFiles, AnExistingEntryMovesToTheTop) {
    RecentFiles list;
    for (const char* path : {"a", "b", "c"}) list.add(path);
    list.add("c");  // already on top: unchanged
    EXPECT_EQ(list.paths(), (Paths{"c", "b", "a"}));
    list.add("a");  // e.g. Save as to a path already listed
    EXPECT_EQ(list.paths(), (Paths{"a", "c", "b"}));
}

TEST(RecentFiles, PathsDifferingInCaseAreTwoEntries) {
    RecentFiles list;
    list.add("C:\\data\\run.ser");
    list.add("C:\\DATA\\run.ser");
    EXPECT_EQ(list.paths(), (Paths{"C:\\DATA\\run.ser", "C:\\data\\run.ser"}));
}

TEST(RecentFiles, LongPathsComeBackWhole) {
    std::string longPath = "C:\\" + std::string(400, 'x') + ".ser";
    MemoryProfile profile;
    RecentFiles list;
    list.add(longPath);
    list.store(profile);
    RecentFiles loaded;
    loaded.load(profile);
    EXPECT_EQ(loaded.paths(), (Paths{longPath}));
}

TEST(RecentFilesProfile, GapsCloseUpAndStoringKeepsLaterValues) {
    MemoryProfile profile;
    profile.writeString("RecentFiles", "2", "A");
    profile.writeString("RecentFiles", "4", "B");
    RecentFiles list;
    list.load(profile);
    EXPECT_EQ(list.paths(), (Paths{"A", "B"}));

    list.store(profile);
    EXPECT_EQ(profile.readString("RecentFiles", "1", ""), "A");
    EXPECT_EQ(profile.readString("RecentFiles", "2", ""), "B");
    EXPECT_EQ(profile.readString("RecentFiles", "4", ""), "B");  // never deleted

    RecentFiles again;
    again.load(profile);
    EXPECT_EQ(again.paths(), (Paths{"A", "B"}));
}

TEST(RecentFilesProfile, ADuplicateInTheRegistryIsListedOnceAtItsLowerNumber) {
    MemoryProfile profile;
    profile.writeString("RecentFiles", "1", "A");
    profile.writeString("RecentFiles", "2", "A");
    profile.writeString("RecentFiles", "3", "C");
    RecentFiles list;
    list.load(profile);
    EXPECT_EQ(list.paths(), (Paths{"A", "C"}));
}

TEST(RecentFilesProfile, EmptyProfileGivesAnEmptyList) {
    MemoryProfile profile;
    RecentFiles list;
    list.load(profile);
    EXPECT_TRUE(list.paths().empty());
    list.store(profile);
    EXPECT_TRUE(profile.writeOrder.empty());
}

TEST(CommandLinePath, QuotedUnquotedAndEmpty) {
    EXPECT_EQ(pathFromCommandLine(""), "");
    EXPECT_EQ(pathFromCommandLine("\"C:\\my data\\run.ser\" extra"), "C:\\my data\\run.ser");
    EXPECT_EQ(pathFromCommandLine("C:\\my data\\run.ser"), "C:\\my");
    EXPECT_EQ(pathFromCommandLine("run.ser"), "run.ser");
    EXPECT_EQ(pathFromCommandLine("\"unclosed path"), "\"unclosed path");
    EXPECT_EQ(pathFromCommandLine("\"\""), "");
}
