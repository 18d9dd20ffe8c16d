#include <gtest/gtest.h>

#include "app/CommandRules.h"
#include "app/MenuPrompt.h"
#include "app/PortMenuText.h"
#include "app/TransportRules.h"
#include "res/resource.h"

namespace {

const unsigned kIdleCommands[] = {ID_FILE_NEW, ID_FILE_OPEN,       ID_SERIAL_DEVICE,
                                  ID_LOGGING,  ID_IMPORT,          ID_RECORD,
                                  32790,       ID_RECENT_FILE_LAST};
const unsigned kFileCommands[] = {ID_SAVE_AS, ID_PLAY, ID_FAST_FORWARD, ID_FAST_REWIND, ID_EXPORT};

}  // namespace

TEST(CommandRules, StoppedWithoutAFile) {
    TransportFlags stopped{false, false, false};
    for (unsigned id : kIdleCommands) EXPECT_EQ(commandEnabled(id, stopped), true) << id;
    for (unsigned id : kFileCommands) EXPECT_EQ(commandEnabled(id, stopped), false) << id;
    EXPECT_EQ(commandEnabled(ID_PAUSE, stopped), false);
    EXPECT_EQ(commandEnabled(ID_STOP, stopped), false);
}

TEST(CommandRules, StoppedWithAFile) {
    TransportFlags stopped{false, false, true};
    for (unsigned id : kIdleCommands) EXPECT_EQ(commandEnabled(id, stopped), true) << id;
    for (unsigned id : kFileCommands) EXPECT_EQ(commandEnabled(id, stopped), true) << id;
    EXPECT_EQ(commandEnabled(ID_STOP, stopped), false);
}

TEST(CommandRules, WhileAWorkerRunsOnlyStopAndPauseApply) {
    for (TransportFlags flags :
         {TransportFlags{true, false, true}, TransportFlags{false, true, true}}) {
        for (unsigned id : kIdleCommands) EXPECT_EQ(commandEnabled(id, flags), false) << id;
        for (unsigned id : kFileCommands) EXPECT_EQ(commandEnabled(id, flags), false) << id;
        EXPECT_EQ(commandEnabled(ID_STOP, flags), true);
        EXPECT_EQ(commandEnabled(ID_PAUSE, flags), flags.playing);
    }
}

TEST(CommandRules, WhileBusyOnlyStopAppliesAndWhatIsRefusedIsSaidToBe) {
    for (bool file : {false, true}) {
        TransportFlags busy{false, false, file, true};
        for (unsigned id : kIdleCommands) {
            EXPECT_EQ(commandEnabled(id, busy), false) << id;
            EXPECT_TRUE(refusedBecauseBusy(id, busy)) << id;
        }
        for (unsigned id : kFileCommands) {
            EXPECT_EQ(commandEnabled(id, busy), false) << id;
            EXPECT_EQ(refusedBecauseBusy(id, busy), file) << id;  // without a file: no file
        }
        EXPECT_EQ(commandEnabled(ID_STOP, busy), true);
        EXPECT_EQ(commandEnabled(ID_PAUSE, busy), false);
        for (unsigned id : {unsigned{ID_STOP}, unsigned{ID_PAUSE}, unsigned{ID_APP_ABOUT}}) {
            EXPECT_FALSE(refusedBecauseBusy(id, busy)) << id;
        }
    }
    // Refusals for other reasons stay silent: a key for Record while recording, Play without
    // a file.
    EXPECT_FALSE(refusedBecauseBusy(ID_RECORD, TransportFlags{true, false, true}));
    EXPECT_FALSE(refusedBecauseBusy(ID_PLAY, TransportFlags{}));
}

TEST(CommandRules, CommandsWithoutARuleKeepTheirState) {
    TransportFlags any{true, false, false};
    for (unsigned id : {ID_APP_EXIT, ID_APP_ABOUT, ID_HELP_CONTENTS, ID_WEBSITE, ID_NO_RECENT_FILES,
                        ID_ALWAYS_ON_TOP, 32795}) {
        EXPECT_FALSE(commandEnabled(id, any).has_value()) << id;
    }
}

TEST(TransportControlsTable, EachModeEnablesItsControls) {
    auto stoppedWithFile = transportControls(TransportMode::Stopped, true);
    EXPECT_TRUE(stoppedWithFile.record && stoppedWithFile.play && stoppedWithFile.rewind &&
                stoppedWithFile.forward && stoppedWithFile.slider);
    EXPECT_FALSE(stoppedWithFile.pause || stoppedWithFile.stop);

    auto stoppedEmpty = transportControls(TransportMode::Stopped, false);
    EXPECT_TRUE(stoppedEmpty.record);
    EXPECT_FALSE(stoppedEmpty.play || stoppedEmpty.rewind || stoppedEmpty.forward ||
                 stoppedEmpty.slider || stoppedEmpty.pause || stoppedEmpty.stop);

    for (bool file : {false, true}) {
        auto recording = transportControls(TransportMode::Recording, file);
        EXPECT_TRUE(recording.stop);
        EXPECT_FALSE(recording.record || recording.play || recording.pause || recording.rewind ||
                     recording.forward || recording.slider);
        auto busy = transportControls(TransportMode::Busy, file);  // a slow open can be stopped
        EXPECT_TRUE(busy.stop);
        EXPECT_FALSE(busy.record || busy.play || busy.pause || busy.rewind || busy.forward ||
                     busy.slider);
        auto playing = transportControls(TransportMode::Playing, file);
        EXPECT_TRUE(playing.pause && playing.stop);
        EXPECT_FALSE(playing.record || playing.play || playing.rewind || playing.forward ||
                     playing.slider);
    }
}

// The buttons and the menu items that stand for the same commands never disagree.
TEST(TransportControlsTable, ButtonsAgreeWithTheirMenuCommands) {
    for (bool file : {false, true}) {
        for (TransportMode mode : {TransportMode::Stopped, TransportMode::Recording,
                                   TransportMode::Playing, TransportMode::Busy}) {
            const TransportFlags flags{mode == TransportMode::Recording,
                                       mode == TransportMode::Playing, file,
                                       mode == TransportMode::Busy};
            const TransportControls controls = transportControls(mode, file);
            EXPECT_EQ(commandEnabled(ID_RECORD, flags), controls.record);
            EXPECT_EQ(commandEnabled(ID_PLAY, flags), controls.play);
            EXPECT_EQ(commandEnabled(ID_PAUSE, flags), controls.pause);
            EXPECT_EQ(commandEnabled(ID_STOP, flags), controls.stop);
            EXPECT_EQ(commandEnabled(ID_FAST_REWIND, flags), controls.rewind);
            EXPECT_EQ(commandEnabled(ID_FAST_FORWARD, flags), controls.forward);
        }
    }
}

TEST(PromptText, KeepsWhatStandsBeforeTheLastNewline) {
    EXPECT_EQ(promptText("Create a new serial input file\nNew"), "Create a new serial input file");
    EXPECT_EQ(promptText("Export the serial file "), "Export the serial file ");
    EXPECT_EQ(promptText("a\nb\nc"), "a\nb");
    EXPECT_EQ(promptText(""), "");
}

// A port's item leaves out what its file does not tell, and a name's "&" stays a character.
TEST(PortMenuText, NumbersFromOneAndLeavesOutWhatTheFileDoesNotTell) {
    EXPECT_EQ(portMenuText(0, {"/dev/ttyUSB0", "9600 8N1"}), "Port &1: /dev/ttyUSB0 (9600 8N1)");
    EXPECT_EQ(portMenuText(1, {"", "19200 8E1"}), "Port &2 (19200 8E1)");
    EXPECT_EQ(portMenuText(2, {"R&D rig", ""}), "Port &3: R&&D rig");
    EXPECT_EQ(portMenuText(9, {}), "Port 10");
}
