// The error box's message: the program's text, and the system's text for the error on a line of
// its own.
#include "win32/ErrorBox.h"

#include <gtest/gtest.h>

TEST(ErrorBoxMessage, AddsTheSystemTextOnALineOfItsOwn) {
    std::string message = composeErrorMessage("Couldnt open file!", true, ERROR_FILE_NOT_FOUND);
    char expectedSystem[512] = {};
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0,
                             expectedSystem, 511, nullptr),
              0u);
    EXPECT_EQ(message, std::string("Couldnt open file!\r\n") + expectedSystem);
}

TEST(ErrorBoxMessage, TextAloneWithoutOrWhenTheSystemHasNoText) {
    EXPECT_EQ(composeErrorMessage("Couldnt open file!", false, ERROR_FILE_NOT_FOUND),
              "Couldnt open file!");
    EXPECT_EQ(composeErrorMessage("x", true, 0x2000FFFFu), "x");
}

TEST(ErrorBoxMessage, SystemTextWithAnInsertIsKeptAsItIs) {
    // The system names the file in this text as "%1", and there is nothing to fill it from.
    std::string message = composeErrorMessage("Cannot run", true, ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(message.compare(0, 12, "Cannot run\r\n"), 0) << message;
    EXPECT_NE(message.find("%1"), std::string::npos) << message;
}
