// Menu help: the status line shows the highlighted menu item's prompt, and its state word again
// when the menu closes or after the prompt has stood for a few seconds.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// Tells the window that a menu item is highlighted, as the menu does while the user moves over
// it; a closing menu comes with flags 0xFFFF and no menu.
bool highlight(UiProgram& program, int id) {
    return program.post(program.window(), WM_MENUSELECT, MAKEWPARAM(id, MF_HILITE),
                        reinterpret_cast<LPARAM>(GetMenu(program.window()))) &&
           program.settle();
}

bool closeMenu(UiProgram& program) {
    return program.post(program.window(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0) &&
           program.settle();
}

}  // namespace

TEST(MenuHelp, PromptsComeFromTheStringTableOrTheItemText) {
    UiProgram program;
    ASSERT_TRUE(started(program));
    const std::pair<int, const char*> prompts[] = {
        {ID_RECORD, "Start recording from selected serial device"},
        {ID_EXPORT, "Export the serial file "},
        {ID_FILE_NEW, "Create a new serial input file"},
        {ID_APP_ABOUT, "Show all about the application"},
        {ID_NO_RECENT_FILES, "No recent files"},  // its menu text
        {ID_ALWAYS_ON_TOP, "Always on top"},      // its menu text
    };
    for (const auto& [id, prompt] : prompts) {
        ASSERT_TRUE(highlight(program, id));
        EXPECT_EQ(program.text(IDC_STATUS_LINE), prompt) << id;
    }
    // A number that is neither a prompt nor a menu item (a popup's position) changes nothing.
    ASSERT_TRUE(highlight(program, 2));
    EXPECT_EQ(program.text(IDC_STATUS_LINE), "Always on top");

    ASSERT_TRUE(closeMenu(program));
    EXPECT_EQ(program.text(IDC_STATUS_LINE), "OK");
}

TEST(MenuHelp, APromptGivesWayToTheStateWordAfterAFewSeconds) {
    UiProgram program;
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(highlight(program, ID_PLAY));
    EXPECT_EQ(program.text(IDC_STATUS_LINE), "Start playing serial file");
    EXPECT_TRUE(waitUntil([&] { return program.text(IDC_STATUS_LINE) == "OK"; }, 5s))
        << program.text(IDC_STATUS_LINE);
}
