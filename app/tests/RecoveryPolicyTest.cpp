// Which claims left in the settings are offered for recovery, dropped, or dropped with their file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/RecoveryPolicy.h"

using Paths = std::vector<std::string>;

TEST(RecoveryPolicy, OffersDataOfEndedCopiesAndClearsAwayTheRest) {
    const std::vector<ClaimNote> notes{
        {"ended-with-data", false, 4096}, {"running-with-data", true, 4096},
        {"ended-empty", false, 0},        {"running-empty", true, 0},
        {"ended-missing", false, -1},     {"running-missing", true, -1},
        {"ended-one-byte", false, 1},
    };
    const RecoveryDecision decision = decideRecovery(notes);
    EXPECT_EQ(decision.offer, (Paths{"ended-with-data", "ended-one-byte"}));
    EXPECT_EQ(decision.drop, (Paths{"ended-empty", "ended-missing"}));
    EXPECT_EQ(decision.remove, Paths{"ended-empty"});  // a missing file is not deleted again
    for (const ClaimNote& note : notes) {
        const bool offered = std::find(decision.offer.begin(), decision.offer.end(), note.path) !=
                             decision.offer.end();
        EXPECT_EQ(isLeftBehindRecording(note), offered) << note.path;
    }
}

TEST(RecoveryPolicy, NoClaimsNoDecision) {
    const RecoveryDecision decision = decideRecovery({});
    EXPECT_TRUE(decision.offer.empty() && decision.drop.empty() && decision.remove.empty());
}
