#include "log/LogWriter.h"

#include <gtest/gtest.h>

#include <ctime>
#include <algorithm>
#include <string>
#include <vector>

#include "log/LocalTime.h"
#include "log/LogSettings.h"
#include "tests/support/MemoryProfile.h"
#include "tests/support/TempDir.h"

namespace {

std::string fileText(const std::string& path) {
    auto bytes = readWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

MemoryProfile loggingProfile(const std::string& path, int append, int showDate) {
    MemoryProfile profile;
    profile.writeInt("Logging", "LoggingOn", 1);
    profile.writeInt("Logging", "AppendFile", append);
    profile.writeString("Logging", "LogFile", path);
    profile.writeInt("Logging", "ShowDate", showDate);
    return profile;
}

std::tm makeTm(int year, int month, int day, int weekday, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_wday = weekday;
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    return when;
}

}  // namespace

TEST(LogDate, UsesEnglishNamesAndTwoDigitFields) {
    EXPECT_EQ(formatLogDate(makeTm(2026, 12, 6, 0, 10, 32, 53)), "Sun, 06 Dec 2026 10:32:53 GMT");
    EXPECT_EQ(formatLogDate(makeTm(2007, 1, 1, 1, 9, 5, 7)), "Mon, 01 Jan 2007 09:05:07 GMT");
    EXPECT_EQ(formatLogDate(makeTm(1999, 9, 30, 4, 23, 59, 0)), "Thu, 30 Sep 1999 23:59:00 GMT");
    EXPECT_EQ(formatLogDate(makeTm(2024, 2, 29, 4, 0, 0, 0)), "Thu, 29 Feb 2024 00:00:00 GMT");
}

TEST(LogDate, OutOfRangeFieldsGiveNoDate) {
    EXPECT_EQ(formatLogDate(makeTm(2026, 13, 6, 0, 0, 0, 0)), "");
    EXPECT_EQ(formatLogDate(makeTm(2026, 12, 6, 7, 0, 0, 0)), "");
}

TEST(LogWriterFormat, LinesEndInCrLfAndChunkLinesCarryAnExtraCr) {
    TempDir dir;
    auto path = dir.file("serial.log");
    auto profile = loggingProfile(path, 0, 0);
    {
        LogWriter log(loadLogSettings(profile));
        ASSERT_TRUE(log.isOpen());
        log.writeLine("Starting recording");
        log.writeLine("off=12: sz=3\r\n");
        log.writeLine("two\nparts");
        log.writeLine("");
        log.writeLine("Recording finished");
    }
    EXPECT_EQ(fileText(path),
              "Starting recording\r\n"
              "off=12: sz=3\r\r\n\r\n"
              "two\r\nparts\r\n"
              "\r\n"
              "Recording finished\r\n");
}

TEST(LogWriterFormat, ShowDatePrefixesEveryLineWithTheLocalTimeOfTheWrite) {
    TempDir dir;
    auto path = dir.file("dated.log");
    auto profile = loggingProfile(path, 0, 1);
    std::time_t before = std::time(nullptr);
    {
        LogWriter log(loadLogSettings(profile));
        log.writeLine("Ended play");
        log.writeLine("Sending 3 bytes for time offset 20\r\n");
    }
    std::time_t after = std::time(nullptr);

    // Each stamp is the write's local time: it equals the date of a clock reading taken
    // between just before and just after the run.
    std::vector<std::string> possibleStamps;
    for (std::time_t when = before; when <= after; ++when) {
        auto local = toLocalTime(when);
        ASSERT_TRUE(local.has_value());
        possibleStamps.push_back(formatLogDate(*local));
    }
    const std::string text = fileText(path);
    const std::string first = " : Ended play\r\n";
    const std::string second = " : Sending 3 bytes for time offset 20\r\r\n\r\n";
    const std::size_t stampLength = possibleStamps.front().size();
    ASSERT_EQ(text.size(), 2 * stampLength + first.size() + second.size()) << text;
    EXPECT_EQ(text.substr(stampLength, first.size()), first);
    EXPECT_EQ(text.substr(2 * stampLength + first.size()), second);
    for (std::size_t at : {std::size_t{0}, stampLength + first.size()}) {
        std::string stamp = text.substr(at, stampLength);
        EXPECT_NE(std::find(possibleStamps.begin(), possibleStamps.end(), stamp),
                  possibleStamps.end())
            << stamp;
    }
}

TEST(LogWriterSettings, LoggingOffTouchesNoFile) {
    TempDir dir;
    auto existing = dir.file("kept.log");
    ASSERT_TRUE(writeWholeFile(existing, {'o', 'l', 'd'}));
    auto missing = dir.file("never.log");

    for (const auto& path : {existing, missing}) {
        MemoryProfile profile = loggingProfile(path, 0, 0);
        profile.writeInt("Logging", "LoggingOn", 0);
        LogWriter log(loadLogSettings(profile));
        EXPECT_FALSE(log.isOpen());
        log.writeLine("Starting recording");
    }
    EXPECT_EQ(fileText(existing), "old");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(LogWriterSettings, EmptyProfileMeansLoggingOff) {
    MemoryProfile profile;
    LogWriter log(loadLogSettings(profile));
    EXPECT_FALSE(log.isOpen());
}

TEST(LogWriterSettings, WithoutAppendEachRunEmptiesTheFile) {
    TempDir dir;
    auto path = dir.file("run.log");
    auto profile = loggingProfile(path, 0, 0);
    { LogWriter(loadLogSettings(profile)).writeLine("first run"); }
    { LogWriter(loadLogSettings(profile)).writeLine("second run"); }
    EXPECT_EQ(fileText(path), "second run\r\n");

    // A run that writes nothing (a successful import) still leaves the file empty.
    { LogWriter quiet(loadLogSettings(profile)); }
    EXPECT_EQ(fileText(path), "");
}

TEST(LogWriterSettings, WithAppendRunsFollowEachOtherWithoutSeparator) {
    TempDir dir;
    auto path = dir.file("append.log");
    ASSERT_TRUE(writeWholeFile(path, {'x', '\r', '\n'}));
    auto profile = loggingProfile(path, 1, 0);
    { LogWriter(loadLogSettings(profile)).writeLine("Starting recording"); }
    { LogWriter(loadLogSettings(profile)).writeLine("Ended play"); }
    EXPECT_EQ(fileText(path), "x\r\nStarting recording\r\nEnded play\r\n");
}

TEST(LogWriterSettings, AppendCreatesAMissingFile) {
    TempDir dir;
    auto path = dir.file("new.log");
    auto profile = loggingProfile(path, 1, 0);
    { LogWriter(loadLogSettings(profile)).writeLine("Starting recording"); }
    EXPECT_EQ(fileText(path), "Starting recording\r\n");
}

TEST(LogWriterFailures, UnopenableFileIsASilentNoOp) {
    TempDir dir;
    auto path = dir.file("no-such-folder/serial.log");
    auto profile = loggingProfile(path, 0, 1);
    LogWriter log(loadLogSettings(profile));
    EXPECT_FALSE(log.isOpen());
    log.writeLine("Starting recording");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no-such-folder")));
}

TEST(LogWriterFailures, EveryLineIsOnDiskBeforeTheNextEvent) {
    TempDir dir;
    auto path = dir.file("flushed.log");
    auto profile = loggingProfile(path, 0, 0);
    LogWriter log(loadLogSettings(profile));
    log.writeLine("Starting playing of file x.ser");
    EXPECT_EQ(fileText(path), "Starting playing of file x.ser\r\n");
    log.writeLine("Sending 1 bytes for time offset 0\r\n");
    EXPECT_EQ(fileText(path),
              "Starting playing of file x.ser\r\nSending 1 bytes for time offset 0\r\r\n\r\n");
}

TEST(LogWriterFailures, ReopeningSwitchesFileAndDateSetting) {
    TempDir dir;
    auto first = dir.file("first.log");
    auto second = dir.file("second.log");
    auto profile = loggingProfile(first, 0, 1);
    LogWriter log(loadLogSettings(profile));
    ASSERT_TRUE(log.openLog(second, false, false));
    log.writeLine("plain");
    EXPECT_EQ(fileText(first), "");
    EXPECT_EQ(fileText(second), "plain\r\n");
    EXPECT_FALSE(log.openLog(dir.file("missing/x.log"), true, false));
    EXPECT_FALSE(log.isOpen());
}
