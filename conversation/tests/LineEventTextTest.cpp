#include <gtest/gtest.h>

#include "conversation/LineEventText.h"

namespace {

TEST(LineEventText, AskedForSettingsReadBackFromTheirWords) {
    using enum LineEventKind;
    const struct {
        LineEvent event;
        const char* text;
    } cases[] = {
        {{LineSettings, 0, 19200, 8, Parity::Even}, "19200 8E1"},
        {{LineSettings, 0, 0, 7, Parity::Space, StopBits::OneAndAHalf}, "7S1.5"},
        {{LineSettings, 0, 115200}, "speed 115200"},
        {{LineSettings, 0, 9600, 0, Parity::Odd, StopBits::Two},
         "speed 9600, parity odd, stop bits 2"},
        {{LineSettings, 0, 0, 0, Parity::Mark}, "parity mark"},
        {{LineSettings}, "unchanged"},
    };
    for (const auto& [event, text] : cases) {
        EXPECT_EQ(changedSettingsText(event), text);
        EXPECT_EQ(changedSettingsFromText(text), event) << text;
    }
    // What no writer of ours makes is no settings.
    for (const char* text : {"", "speed", "speed 0", "speed 9600,", "19200 8X1", "19200 8N3",
                             "99999999999 8N1", "parity even, ", "8N1 19200", "baud 9600"})
        EXPECT_EQ(changedSettingsFromText(text), std::nullopt) << text;
    // A parity outside the named ones cannot be written back: it reads as left as it was.
    EXPECT_EQ(changedSettingsText({LineSettings, 0, 0, 0, static_cast<Parity>(9)}), "unchanged");
}

TEST(LineEventText, EventsAsAPersonReadsThem) {
    using enum LineEventKind;
    EXPECT_EQ(lineEventText({ControlLines, control_line::kCts | control_line::kDtr}),
              "control lines: CTS DTR");
    EXPECT_EQ(lineEventText({ControlLines, 0}), "control lines: none");
    EXPECT_EQ(lineEventText({BreakEnd}), "break end");
    EXPECT_EQ(lineEventText({LineSettings, 0, 300, 8}), "line settings: 300 8N1");
}

}  // namespace
