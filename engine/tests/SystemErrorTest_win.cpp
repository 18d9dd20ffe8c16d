// The system's words for its own error numbers: FormatMessage's text without its line end.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/SystemError.h"

namespace {
SystemError systemError(DWORD number) {
    return {SystemError::Numbering::System, static_cast<int>(number)};
}
}  // namespace

TEST(SystemErrorText, TheSystemsOwnTextWithoutItsLineEnd) {
    char expected[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0,
                                  expected, 511, nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_EQ(std::string(expected + length - 2), "\r\n");
    EXPECT_EQ(systemErrorText(systemError(ERROR_FILE_NOT_FOUND)),
              std::string(expected, length - 2));
    // The line end is the box's to add, and a port's text keeps the system's as it was.
    EXPECT_EQ(systemNumberingText(ERROR_FILE_NOT_FOUND), expected);
}

TEST(SystemErrorText, NumbersWithoutTextOrWithAnInsert) {
    EXPECT_EQ(systemErrorText(systemError(0x2000FFFFu)), "system error 536936447");
    EXPECT_EQ(systemNumberingText(0x2000FFFF), "");
    // The system names the file in this text as "%1", and there is nothing to fill it from.
    EXPECT_NE(systemErrorText(systemError(ERROR_BAD_EXE_FORMAT)).find("%1"), std::string::npos);
}

TEST(SystemErrorText, TheLastErrorIsTheSystemsNotTheCLibrarys) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(lastSystemError(), systemError(ERROR_ACCESS_DENIED));
}
