#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "engine/Failure.h"

// What the file says about itself: the program that wrote it, the ports and their settings.
struct ConversationHeader {
    std::string application;    // with its version, e.g. "veltrane-cli 1.7"
    std::string interfaceName;  // the ports, e.g. "COM3 <-> COM4"
    std::string lineSettings;   // e.g. "115200 8N1"
};

// Writes a conversation file as bursts (and the line's events) arrive. Bursts are kept in memory
// until flushIfDue finds 100 ms passed since the last flush, or a buffer's worth is waiting; the
// system then gets whole blocks only. The header reaches the system at open. After a failure every
// later call returns the same failure.
class ConversationWriter {
public:
    // The bytes one burst may hold: its block must stay within the reader's limit.
    static const std::size_t kMaxBurstBytes;
    static constexpr std::uint64_t kFlushEveryMicros = 100'000;

    ConversationWriter() = default;
    ~ConversationWriter();
    ConversationWriter(const ConversationWriter&) = delete;
    ConversationWriter& operator=(const ConversationWriter&) = delete;

    // Creates (or truncates) the file and writes the section and interface headers.
    Failure open(const std::string& path, const ConversationHeader& header);
    bool isOpen() const { return file_ != nullptr; }
    // A burst with a lineEvent is written as writeLineEvent writes it (its bytes are not).
    Failure write(const ConversationBurst& burst);
    // What the line did at timeMicros, as a packet of its own beside the bursts; who is the side
    // that did it, controlLines the lines after it (a ControlLines event's own lines are those).
    Failure writeLineEvent(std::uint64_t timeMicros, Direction who, std::uint8_t controlLines,
                           const LineEvent& event);
    // nowMicros on any clock that does not go back; the first call flushes.
    Failure flushIfDue(std::uint64_t nowMicros);
    Failure flush();
    // Writes out the rest and closes; no failure when nothing was open.
    Failure close();

private:
    Failure writeOut();
    Failure failed(Failure::Kind kind, SystemError error, std::string detail = {});

    std::FILE* file_ = nullptr;
    std::string path_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t lastFlush_ = 0;
    bool flushedOnce_ = false;
    Failure failure_;
};
