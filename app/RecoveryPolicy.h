#pragma once

#include <string>
#include <vector>

// Which working files that ended copies of the program left behind are offered for recovery,
// free of any system call: the caller gathers the facts of each claim in the settings and
// carries out the decision.

struct ClaimNote {
    std::string path;             // the claimed working file
    bool ownerRunning = false;    // or not ours to judge: its file stays
    long long fileSize = -1;      // -1 when the file is missing
};

struct RecoveryDecision {
    std::vector<std::string> offer;   // recordings with data, still claimed
    std::vector<std::string> drop;    // claims given up: their file is gone or empty
    std::vector<std::string> remove;  // empty files deleted with their claim
};

// A claim of a copy that still runs is left alone.
bool isLeftBehindRecording(const ClaimNote& note);

RecoveryDecision decideRecovery(const std::vector<ClaimNote>& notes);
