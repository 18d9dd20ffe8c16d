// The record that adds the tray icon, as the shell receives it.
#include "app/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstddef>

TEST(TrayIconRecord, SizeIsAFormTheShellKnowsAndCoversTheTip) {
    std::string title(80, 'T');
    NOTIFYICONDATAA record = TrayIcon::addRecord(nullptr, nullptr, title);

    // A shell takes only the sizes of the record's known forms; one that ended before the tip
    // would leave the tip unread.
    EXPECT_TRUE(record.cbSize == NOTIFYICONDATAA_V1_SIZE ||
                record.cbSize == NOTIFYICONDATAA_V2_SIZE ||
                record.cbSize == NOTIFYICONDATAA_V3_SIZE || record.cbSize == sizeof record)
        << record.cbSize;
    EXPECT_TRUE(record.uFlags & NIF_TIP);
    std::string tip = record.szTip;
    EXPECT_EQ(tip, title.substr(0, 63));
    EXPECT_GE(record.cbSize, offsetof(NOTIFYICONDATAA, szTip) + tip.size() + 1)
        << "the tip ends beyond the declared size";

    NOTIFYICONDATAA untitled = TrayIcon::addRecord(nullptr, nullptr, std::nullopt);
    EXPECT_EQ(untitled.cbSize, record.cbSize);
    EXPECT_FALSE(untitled.uFlags & NIF_TIP);
}
