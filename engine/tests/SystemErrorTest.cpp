// One place words every error number: the C library's numbers as strerror does, nothing for no
// error, never a line end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "engine/Failure.h"
#include "engine/SystemError.h"

TEST(SystemErrorText, CLibraryNumbersReadAsStrerrorDoes) {
    for (int number : {ENOENT, EACCES, ENOSPC, EISDIR})
        EXPECT_EQ(systemErrorText(cLibraryError(number)), std::strerror(number)) << number;
    EXPECT_EQ(systemErrorText({}), "");
    errno = EACCES;
    EXPECT_EQ(lastCLibraryError(), cLibraryError(EACCES));
}

TEST(SystemErrorText, AFailuresReasonIsItsDetailWhenItHasOne) {
    Failure failure = fileFailure(Failure::Kind::ReadInput, "a.ser", cLibraryError(EISDIR));
    EXPECT_EQ(failure.reason(), std::strerror(EISDIR));
    failure = portFailure(Failure::Kind::PortLost, "COM3", "CommMask:0x00000008 :FRAME");
    EXPECT_EQ(failure.reason(), "CommMask:0x00000008 :FRAME");
    const std::string text = systemErrorText({SystemError::Numbering::System, ENOENT});
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
}
