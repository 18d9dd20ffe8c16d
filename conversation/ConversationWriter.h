#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "conversation/ConversationInterface.h"
#include "engine/Failure.h"

// What the file says about itself: the program that wrote it, the ports and their settings.
struct ConversationHeader {
    std::string application;  // with its version, e.g. "veltrane-cli 1.7"
    // In the order bursts name them (ConversationBurst::interfaceIndex); none writes one
    // interface without a name.
    std::vector<ConversationInterface> interfaces;
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

    // Creates (or truncates) the file and writes the section and interface headers. A burst or
    // event on an interface the header does not describe is refused as a failed write, and the
    // file goes on.
    Failure open(const std::string& path, const ConversationHeader& header);
    bool isOpen() const { return file_ != nullptr; }
    // A burst with a lineEvent is written as writeLineEvent writes it (its bytes are not).
    Failure write(const ConversationBurst& burst);
    // What the line did at timeMicros, as a packet of its own beside the bursts; who is the side
    // that did it, controlLines the lines after it (a ControlLines event's own lines are those).
    Failure writeLineEvent(std::uint64_t timeMicros, Direction who, std::uint8_t controlLines,
                           const LineEvent& event, std::uint32_t interfaceIndex = 0);
    // nowMicros on any clock that does not go back; the first call flushes.
    Failure flushIfDue(std::uint64_t nowMicros);
    Failure flush();
    // Writes out the rest and closes; no failure when nothing was open.
    Failure close();

private:
    Failure writeOut();
    Failure failed(Failure::Kind kind, SystemError error, std::string detail = {});
    Failure checkInterface(std::uint32_t interfaceIndex);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::vector<std::uint8_t> pending_;
    std::uint32_t interfaceCount_ = 0;
    std::uint64_t lastFlush_ = 0;
    bool flushedOnce_ = false;
    Failure failure_;
};
