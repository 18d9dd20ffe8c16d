#include "workers/RecordedDeviceLines.h"

#include "conversation/ConversationReader.h"

namespace {

// Lines recorded later than this far into a file are no state at the start.
constexpr int kBurstsLookedAt = 4096;

}  // namespace

std::optional<LineEvent> recordedDeviceLines(const std::string& path) {
    ConversationReader reader;
    if (reader.open(path).happened()) return std::nullopt;
    reader.keepLineEvents(true);
    ConversationBurst burst;
    for (int looked = 0; looked < kBurstsLookedAt && reader.next(burst); ++looked) {
        if (burst.direction != Direction::Device) continue;
        if (burst.lineEvent && burst.lineEvent->kind == LineEventKind::ControlLines)
            return burst.lineEvent;
        const auto lines =
            static_cast<std::uint8_t>(burst.controlLines & control_line::kDeviceLines);
        if (!burst.lineEvent && lines != 0) return LineEvent{LineEventKind::ControlLines, lines};
    }
    return std::nullopt;
}
