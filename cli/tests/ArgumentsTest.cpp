// The command line as the commands read it, and the line settings with the dialog's choices.
#include <gtest/gtest.h>

#include "cli/Arguments.h"
#include "cli/LineOptions.h"

namespace {

const std::vector<OptionSpec> kAccepted = {
    {"--json", false, ""}, {"--baud", true, "-b"}, {"-o", true, "--output"}};

std::optional<Arguments> parsed(const std::vector<std::string>& words, std::string* error) {
    return Arguments::parse(words, kAccepted, error);
}

}  // namespace

TEST(Arguments, ValuesFlagsAliasesAndPositionalsInAnyOrder) {
    std::string error;
    auto arguments = parsed({"in.ser", "--baud=19200", "-o", "-", "--json", "--", "--odd"}, &error);
    ASSERT_TRUE(arguments) << error;
    EXPECT_EQ(arguments->positionals(), (std::vector<std::string>{"in.ser", "--odd"}));
    EXPECT_EQ(arguments->value("--baud"), "19200");
    EXPECT_EQ(arguments->value("-o"), "-");  // "-" is standard output, a value
    EXPECT_TRUE(arguments->has("--json"));

    arguments = parsed({"--output", "out.txt", "-b", "300", "--baud", "600"}, &error);
    ASSERT_TRUE(arguments) << error;
    EXPECT_EQ(arguments->value("-o"), "out.txt");
    EXPECT_EQ(arguments->value("--baud"), "600");  // the last one counts
}

TEST(Arguments, MistakesAreNamedInOneLine) {
    std::string error;
    EXPECT_FALSE(parsed({"--bad"}, &error));
    EXPECT_EQ(error, "unknown option --bad");
    EXPECT_FALSE(parsed({"--baud"}, &error));
    EXPECT_EQ(error, "--baud needs a value");
    EXPECT_FALSE(parsed({"--json=yes"}, &error));
    EXPECT_EQ(error, "--json takes no value");

    EXPECT_EQ(parseInteger("12", 0, 100), 12);
    EXPECT_FALSE(parseInteger("12x", 0, 100));
    EXPECT_FALSE(parseInteger("101", 0, 100));
    EXPECT_EQ(parseDecimal("0.5", 0.01, 100.0), 0.5);
    EXPECT_EQ(parseDecimal("16", 0.01, 100.0), 16.0);
    EXPECT_EQ(parseDecimal(".5", 0.01, 100.0), 0.5);
    // Decimal digits only: what the C library's readers would take besides is a mistake.
    for (const char* text : {"nan", "inf", "0x10", "1e1", " 5", "5 ", "1.2.3", ".", "+", ""}) {
        EXPECT_FALSE(parseDecimal(text, 0.01, 100.0)) << text;
        EXPECT_FALSE(parseInteger(text, 0, 100)) << text;
    }
    EXPECT_FALSE(parseInteger("1.5", 0, 100));
}

TEST(LineOptions, DefaultsAndTheDialogsChoicesOnly) {
    std::string error;
    auto arguments = Arguments::parse({"--port", "/dev/ttyUSB0"}, lineOptions(), &error);
    ASSERT_TRUE(arguments);
    auto settings = deviceSettingsFrom(*arguments, &error);
    ASSERT_TRUE(settings) << error;
    EXPECT_EQ(settings->port, "/dev/ttyUSB0");
    EXPECT_EQ(settings->speed, 9600);
    EXPECT_EQ(settings->dataBits, 8);
    EXPECT_EQ(settings->parity, Parity::None);
    EXPECT_EQ(settings->stopBits, StopBits::One);

    arguments = Arguments::parse({"-p", "COM3", "-b", "115200", "--data-bits", "7", "--parity",
                                  "Even", "--stop-bits", "1.5"},
                                 lineOptions(), &error);
    ASSERT_TRUE(arguments);
    settings = deviceSettingsFrom(*arguments, &error);
    ASSERT_TRUE(settings) << error;
    EXPECT_EQ(settings->speed, 115200);
    EXPECT_EQ(settings->dataBits, 7);
    EXPECT_EQ(settings->parity, Parity::Even);
    EXPECT_EQ(settings->stopBits, StopBits::OneAndAHalf);

    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--baud", "9600"},
                                                  {"-p", "x", "--baud", "1234"},
                                                  {"-p", "x", "--baud", "96"},
                                                  {"-p", "x", "--data-bits", "9"},
                                                  {"-p", "x", "--parity", "e"},
                                                  {"-p", "x", "--stop-bits", "3"}}) {
        arguments = Arguments::parse(wrong, lineOptions(), &error);
        ASSERT_TRUE(arguments);
        EXPECT_FALSE(deviceSettingsFrom(*arguments, &error)) << wrong[wrong.size() - 1];
    }
}
