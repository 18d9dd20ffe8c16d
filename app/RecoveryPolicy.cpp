#include "app/RecoveryPolicy.h"

bool isLeftBehindRecording(const ClaimNote& note) {
    return !note.ownerRunning && note.fileSize > 0;
}

RecoveryDecision decideRecovery(const std::vector<ClaimNote>& notes) {
    RecoveryDecision decision;
    for (const ClaimNote& note : notes) {
        if (note.ownerRunning) continue;
        if (isLeftBehindRecording(note)) {
            decision.offer.push_back(note.path);
            continue;
        }
        if (note.fileSize == 0) decision.remove.push_back(note.path);
        decision.drop.push_back(note.path);
    }
    return decision;
}
