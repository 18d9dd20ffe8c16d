#include "app/RecoveryPolicy.h"

bool isLeftBehindRecording(const SessionNote& note) {
    return !note.sessionRunning && note.fileSize > 0;
}

RecoveryDecision decideRecovery(const std::vector<SessionNote>& notes) {
    RecoveryDecision decision;
    for (const SessionNote& note : notes) {
        if (note.sessionRunning) continue;
        if (isLeftBehindRecording(note)) {
            decision.offer.push_back(note.path);
            continue;
        }
        if (note.fileSize == 0) decision.remove.push_back(note.path);
        decision.drop.push_back(note.path);
    }
    return decision;
}
