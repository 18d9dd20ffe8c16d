#include "app/TransportRules.h"

TransportControls transportControls(TransportMode mode, bool hasFile) {
    switch (mode) {
        case TransportMode::Recording:
        case TransportMode::Busy:
            return {false, false, false, true, false, false, false};
        case TransportMode::Playing:
            return {false, false, true, true, false, false, false};
        case TransportMode::Stopped:
        default:
            return {true, hasFile, false, false, hasFile, hasFile, hasFile};
    }
}
